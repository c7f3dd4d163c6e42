// The client around acquisition: finding the manager, the identity, source
// selection, capability setting outside a session, packed DIB helpers and
// writing a DIB as a BMP file.
#include <filesystem>

#include "platform/ui/dialogs.h"
#include "platform/ui/window.h"
#include "twain_test_util.h"

namespace {

using Client = TwainTest;

TEST_F(Client, ManagerPresenceIsAskedOnceUntilTheFolderChanges) {
  TWAIN_SetManagerFolder(Dir);  // empty folder
  EXPECT_FALSE(TWAIN_ManagerPresent());
  std::filesystem::copy_file(std::string(QUILLON_TWAIN_DSM_DIR) + "/" + TWAIN_ManagerFileName,
                             Dir + TWAIN_ManagerFileName);
  EXPECT_FALSE(TWAIN_ManagerPresent());  // the cached answer
  EXPECT_EQ(TWAIN_SessionState(), 1);
  TWAIN_SetManagerFolder(Dir);
  EXPECT_TRUE(TWAIN_ManagerPresent());
  EXPECT_EQ(TWAIN_SessionState(), 1);  // loaded and unloaded again

  // A library without the entry point is no manager.
  TWAIN_SetManagerFolder(Dir + "other");
  std::filesystem::create_directory(Dir + "other");
  WriteFile(std::string("other/") + TWAIN_ManagerFileName, {1, 2, 3});
  EXPECT_FALSE(TWAIN_ManagerPresent());
  EXPECT_EQ(TWAIN_ManagerFolder(), Dir + "other/");
}

TEST_F(Client, IdentityDefaultsAndLongNamesAreCutWhole) {
  const TW_IDENTITY& Id = TWAIN_ApplicationId();
  EXPECT_EQ(Id.Version.Language, 13);
  EXPECT_STREQ(Id.ProductName, "<?>");
  const uint32_t Groups = Id.SupportedGroups;  // a packed field: copied before comparing
  EXPECT_EQ(Groups, DG_CONTROL | DG_IMAGE);
  TWAIN_SetApplicationId(2, 0, 2, 2, "2.0", "Marrowick", "Pictavo", "Quillon Pro");
  EXPECT_EQ(Id.Version.MajorNum, 2);
  EXPECT_EQ(Id.Version.Country, 2);
  EXPECT_EQ(Id.ProtocolMajor, 1);
  EXPECT_EQ(Id.ProtocolMinor, 6);
  EXPECT_STREQ(Id.Version.Info, "2.0");
  EXPECT_STREQ(Id.Manufacturer, "Marrowick");
  EXPECT_STREQ(Id.ProductName, "Quillon Pro");
  // 31 ASCII characters and a two-byte character: the character does not fit.
  TWAIN_SetApplicationId(1, 0, 13, 1, std::string(40, 'x'), std::string(31, 'a') + "\xC3\xA9", "", "p");
  EXPECT_EQ(std::string(Id.Version.Info), std::string(32, 'x'));
  EXPECT_EQ(std::string(Id.Manufacturer), std::string(31, 'a'));
  EXPECT_STREQ(Id.ProductFamily, "");
}

TEST_F(Client, SelectingASource) {
  Script({"userselect=ok"});
  EXPECT_TRUE(TWAIN_SelectImageSource(nullptr));
  EXPECT_EQ(TWAIN_SessionState(), 1);
  EXPECT_EQ(Calls(), (std::vector<std::string>{"DG_CONTROL/DAT_PARENT/MSG_OPENDSM -> 0",
                                               "DG_CONTROL/DAT_IDENTITY/MSG_USERSELECT -> 0",
                                               "DG_CONTROL/DAT_PARENT/MSG_CLOSEDSM -> 0"}));
  Script({"userselect=cancel"});
  EXPECT_FALSE(TWAIN_SelectImageSource(nullptr));
  EXPECT_TRUE(Driver.MessageBoxes().empty());

  // A stale handle: a box, and the manager is never opened.
  HWND Wnd = CreateWindowEx(0, "w", WS_OVERLAPPEDWINDOW, 0, 0, 50, 50, nullptr, &DefWindowProc);
  DestroyWindow(Wnd);
  std::filesystem::remove(Dir + "log.txt");
  EXPECT_FALSE(TWAIN_SelectImageSource(Wnd));
  ASSERT_EQ(Driver.MessageBoxes().size(), 1u);
  EXPECT_EQ(Driver.MessageBoxes()[0].Text, "TWAIN_SelectImageSource: window handle is invalid");
  EXPECT_EQ(Driver.MessageBoxes()[0].Caption, "TWAIN Error");
  EXPECT_TRUE(Calls().empty());

  Driver.ClearMessageBoxes();
  TWAIN_SetManagerFolder(Dir);
  EXPECT_FALSE(TWAIN_SelectImageSource(nullptr));
  ASSERT_EQ(Driver.MessageBoxes().size(), 1u);
  EXPECT_EQ(Driver.MessageBoxes()[0].Text, "Unable to load Source Manager (TWAIN_32.DLL)");
}

TEST_F(Client, CapabilitiesAreSetOnlyWhileASourceIsOpen) {
  EXPECT_FALSE(TWAIN_SetImageResolution(300));
  EXPECT_FALSE(TWAIN_SetTransferCount(1));
  ASSERT_EQ(Driver.MessageBoxes().size(), 2u);
  EXPECT_EQ(Driver.MessageBoxes()[0].Text, "Attempt to set capability outside State 4.");

  TW_FIX32 F = TWAIN_FloatToFix32(1.5L);
  EXPECT_EQ(F.Whole, 1);
  EXPECT_EQ(F.Frac, 0x8000);
  F = TWAIN_FloatToFix32(-0.25L);  // -16384 + 0.5, truncated toward zero
  EXPECT_EQ(F.Whole, -1);
  EXPECT_EQ(F.Frac, 0xC001);
  F = TWAIN_FloatToFix32(1e12L);  // clamped
  EXPECT_EQ(F.Whole, 32767);
  EXPECT_EQ(TWAIN_CountBits(0xF0F00001u), 9);
  EXPECT_EQ(TWAIN_ClientVersion(), 106);
}

TEST_F(Client, DibColourCountsBitsAndSizes) {
  std::vector<uint8_t> Pal = MakeBmp(3, 2, {0, 1, 2, 2, 1, 0}, {0, 0xFFFFFF, 0xFF});
  const uint8_t* Dib = Pal.data() + 14;
  EXPECT_EQ(TWAIN_DibColorCount(Dib), 3u);
  EXPECT_EQ(TWAIN_DibBits(Dib), Dib + 40 + 12);
  EXPECT_EQ(TWAIN_DibSize(Dib, Pal.size() - 14), Pal.size() - 14);
  EXPECT_EQ(TWAIN_DibSize(Dib, Pal.size() - 15), 0u);  // truncated

  std::vector<uint8_t> True = MakeBmp(1, 1, {0});
  uint8_t* T = True.data() + 14;
  EXPECT_EQ(TWAIN_DibColorCount(T), 0u);
  T[32] = 0x01;  // biClrUsed 257
  T[33] = 0x01;
  EXPECT_EQ(TWAIN_DibColorCount(T), 0u);
  T[32] = T[33] = 0;
  // Hostile headers describe no image.
  std::vector<uint8_t> Bad = True;
  Bad[14 + 4] = 0xFF, Bad[14 + 5] = 0xFF, Bad[14 + 6] = 0xFF, Bad[14 + 7] = 0x7F;  // width 2^31-1
  EXPECT_EQ(TWAIN_DibSize(Bad.data() + 14, Bad.size() - 14), 0u);
  Bad = True;
  Bad[14 + 14] = 7;  // 7 bits per pixel
  EXPECT_EQ(TWAIN_DibSize(Bad.data() + 14, Bad.size() - 14), 0u);

  // A core header: three bytes per table entry.
  std::vector<uint8_t> Core = {12, 0, 0, 0, 1, 0, 1, 0, 1, 0, 1, 0, 0, 0, 0, 255, 255, 255, 0x80, 0, 0, 0};
  EXPECT_EQ(TWAIN_DibColorCount(Core.data()), 2u);
  EXPECT_EQ(TWAIN_DibBits(Core.data()), Core.data() + 18);
  EXPECT_EQ(TWAIN_DibSize(Core.data(), Core.size()), Core.size());
}

TEST_F(Client, SavingADibAsABmpFile) {
  std::vector<uint8_t> File = MakeBmp(3, 2, {1, 2, 3, 4, 5, 6});
  std::vector<uint8_t> Dib(File.begin() + 14, File.end());
  Dib[20] = Dib[21] = 0;  // biSizeImage 0 is recomputed and stored
  HGLOBAL H = GlobalFromBytes(Dib);
  EXPECT_EQ(TWAIN_SaveDibToBmpFile(H, Dir + "a.bmp"), 0);
  std::vector<uint8_t> Saved = ReadFile(Dir + "a.bmp");
  EXPECT_EQ(Saved, File);
  EXPECT_EQ(Saved[10], 54);  // bfOffBits
  EXPECT_EQ(Bytes(H)[20], File[14 + 20]);

  // An 8-bit DIB: the table comes before the pixels.
  std::vector<uint8_t> PalFile = MakeBmp(2, 2, {0, 1, 1, 0}, {0, 0xFFFFFF});
  HGLOBAL P = GlobalFromBytes(std::vector<uint8_t>(PalFile.begin() + 14, PalFile.end()));
  EXPECT_EQ(TWAIN_SaveDibToBmpFile(P, Dir + "p.bmp"), 0);
  EXPECT_EQ(ReadFile(Dir + "p.bmp"), PalFile);

  EXPECT_EQ(TWAIN_SaveDibToBmpFile(H, Dir + "missing/a.bmp"), -2);
  EXPECT_EQ(TWAIN_SaveDibToBmpFile(0, Dir + "b.bmp"), -3);
  // A block smaller than its header says, or compressed without a size.
  HGLOBAL Short = GlobalFromBytes(std::vector<uint8_t>(Dib.begin(), Dib.end() - 1));
  EXPECT_EQ(TWAIN_SaveDibToBmpFile(Short, Dir + "c.bmp"), -4);
  std::vector<uint8_t> Rle = Dib;
  Rle[16] = 1;  // BI_RLE8
  HGLOBAL R = GlobalFromBytes(Rle);
  EXPECT_EQ(TWAIN_SaveDibToBmpFile(R, Dir + "d.bmp"), -4);

  // No name: the dialog asks; a bare name gets ".bmp".
  Driver.WhenIdle([&] {
    TOpenDialog* D = ExecutingFileDialog();
    ASSERT_NE(D, nullptr);
    EXPECT_EQ(D->Filter(), "Windows Bitmap (*.bmp)|*.bmp");
    D->ChangeFolder(Dir);
    D->SetNameBoxText("typed");
    D->Accept();
  });
  EXPECT_EQ(TWAIN_SaveDibToBmpFile(H, ""), 0);
  EXPECT_EQ(ReadFile(Dir + "typed.bmp"), File);
  Driver.WhenIdle([&] { ExecutingFileDialog()->CancelDialog(); });
  EXPECT_EQ(TWAIN_SaveDibToBmpFile(H, ""), -1);

  for (HGLOBAL G : {H, P, Short, R}) TWAIN_ReleaseDib(G);
  TWAIN_ReleaseDib(0);
}

}  // namespace
