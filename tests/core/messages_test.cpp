#include <gtest/gtest.h>

#include "imaging/core/exceptions.h"
#include "imaging/core/messages.h"

namespace {

// Runs a test body in one library language and restores English.
struct LanguageScope {
  explicit LanguageScope(uint8_t lang) { PGLanguage = lang; }
  ~LanguageScope() { PGLanguage = 0; }
};

}  // namespace

TEST(Messages, TableIsOrderedAndEmptyAtBothEnds) {
  EXPECT_NO_THROW(CheckPGLangStrEntries());
  for (uint8_t lang = 0; lang < 8; ++lang) {
    LanguageScope scope(lang);
    EXPECT_EQ(PGMessage(0), "");
    EXPECT_EQ(PGMessage(84), "");
  }
  for (const auto& e : PGLangStrEntries) EXPECT_STREQ(e.Str[7], "") << int(e.Id);
}

TEST(Messages, EveryLanguageHasTheSamePlaceholders) {
  for (const auto& e : PGLangStrEntries) {
    const std::string en = e.Str[0];
    for (int lang = 1; lang < 7; ++lang) {
      if (e.Id == 19 && lang == 3) continue;  // the Dutch text has no placeholder
      const std::string s = e.Str[lang];
      for (const char* ph : {"%S1", "%S2", "%S3"})
        EXPECT_EQ(en.find(ph) != std::string::npos, s.find(ph) != std::string::npos)
            << "id " << int(e.Id) << " language " << lang << " " << ph;
      EXPECT_EQ(en.empty(), s.empty()) << int(e.Id);
    }
  }
}

TEST(Messages, EnglishTextsAreExact) {
  EXPECT_EQ(PGMessage(17, "GIF", "16.7 million colors", "256 colors"),
            "The graphic cannot be saved to a GIF file with the current color resolution (16.7 million colors)."
            "\r\rThe graphic will be saved with a different color resolution (256 colors).");
  EXPECT_EQ(PGMessage(19, "xyz"), "Unknown file extension \"xyz\"");
  EXPECT_EQ(PGMessage(31, "CreateDIBSection"), "CreateDIBSection failed");
  EXPECT_EQ(PGMessage(82), "\xC2\xB1");
  EXPECT_EQ(PGMessage(83), "\xC2\xB0");
}

TEST(Messages, TellingRowsOfOtherLanguages) {
  {
    LanguageScope de(1);
    EXPECT_EQ(PGMessage(21), "Nagative H\xC3\xB6he");
    EXPECT_EQ(PGMessage(19, "abc"), "Unbekannte Dateinamenerweiterung \"abc\"");
    EXPECT_EQ(PGMessage(39), "Unsupported Compression");
  }
  {
    LanguageScope fr(2);
    EXPECT_EQ(PGMessage(19, "abc"), "Extension de fichier inconnue \"abc\".");
    EXPECT_EQ(PGMessage(64), "RVB");
    EXPECT_EQ(PGMessage(29), "Op\xC3\xA9ration abandonn\xC3\xA9" "e par l'utilisateur.");
  }
  {
    LanguageScope nl(3);
    EXPECT_EQ(PGMessage(19, "abc"), "Onbekende bestand extensie");
    EXPECT_EQ(PGMessage(16, "abc"), "abc is leeg");
  }
}

TEST(Messages, SubstitutionReplacesFirstOccurrenceInOrder) {
  EXPECT_EQ(PGMessage(16, "abc"), "abc is empty");
  // The inserted text is not searched again by the same step.
  EXPECT_EQ(PGMessage(16, "%S1"), "%S1 is empty");
  // A later step replaces a placeholder brought in by an earlier argument.
  EXPECT_EQ(PGMessage(16, "%S2", "x"), "x is empty");
  EXPECT_EQ(PGMessage(16, "a%S3b", "", "Z"), "aZb is empty");
  // Arguments without a placeholder in the text are dropped.
  EXPECT_EQ(PGMessage(2, "abc"), "No palette");
  // Only the first of two placeholders is replaced.
  EXPECT_EQ(PGMessage(16, "%S1%S1"), "%S1%S1 is empty");
}

TEST(Messages, LanguageAboveSevenLeavesTextAlone) {
  LanguageScope bad(8);
  std::string text = "before";
  GetPGMessage(2, text);
  EXPECT_EQ(text, "before");
  FormatPGMessage(16, "x", text);
  EXPECT_EQ(text, "before");
}

TEST(Messages, IdsPastTheTableGiveEmptyText) {
  for (int id : {85, 100, 255}) {
    std::string text = "before";
    GetPGMessage(static_cast<uint8_t>(id), text);
    EXPECT_EQ(text, "") << id;
  }
  LanguageScope spare(7);
  EXPECT_EQ(PGMessage(2), "");
}

TEST(Messages, OrderCheckNamesTheFirstMisplacedEntry) {
  std::vector<TPGLangStrEntry> table(PGLangStrEntries, PGLangStrEntries + PGLangStrEntryCount);
  table[5].Id = 6;
  table[9].Id = 1;
  try {
    CheckPGLangStrEntries(table.data(), table.size());
    FAIL() << "no exception";
  } catch (const EPixelGraphic& e) {
    EXPECT_EQ(e.Message(), "PGLangStrEntries order wrong 5 and 6 are not identical");
  }
}
