// The see-through controls: which count as transparent, their window
// style, and painting on the parent's pixels.
#include <vector>

#include "imaging/viewer/pg_styled_controls.h"
#include "tests/viewer/viewer_fixture.h"

TEST_F(ViewerTest, TransparentControlsShowTheImageBelow) {
  auto* label = new TPGLabel(Form);
  auto* bevel = new TPGBevel(Form);
  auto* check = new TPGCheckBox(Form);
  auto* plain = new TLabel(Form);
  EXPECT_TRUE(IsTransparentPGControl(label));
  EXPECT_TRUE(IsTransparentPGControl(bevel));
  EXPECT_TRUE(IsTransparentPGControl(check));
  EXPECT_FALSE(IsTransparentPGControl(plain));
  EXPECT_FALSE(IsTransparentPGControl(nullptr));
  // Without a window only the value changes; the window still gets the style.
  check->SetTransparent(false);
  EXPECT_FALSE(IsTransparentPGControl(check));
  check->SetTransparent(true);
  Viewer->SetBorderStyle(bsNone);
  check->SetParent(Viewer);
  EXPECT_NE(GetWindowLong(check->Handle(), GWL_EXSTYLE) & WS_EX_TRANSPARENT, 0);
  check->SetTransparent(false);
  EXPECT_EQ(GetWindowLong(check->Handle(), GWL_EXSTYLE) & WS_EX_TRANSPARENT, 0);
  check->SetTransparent(true);

  Viewer->SetBounds(0, 0, 120, 80);
  Viewer->SetStretch(sAlways);
  Viewer->TakePixelGraphic(Solid(4, 4, clYellow));
  auto* panel = new TPGPanel(Form);
  panel->SetParent(Viewer);
  panel->SetBounds(10, 10, 100, 60);
  panel->SetCaption("Over");
  auto* group = new TPGGroupBox(Form);
  group->SetParent(panel);
  group->SetBounds(5, 5, 40, 40);
  label->SetParent(panel);
  label->SetCaption("Hi");
  label->SetBounds(60, 40, 20, 15);
  check->SetBounds(60, 5, 30, 17);
  Show();
  EXPECT_EQ(ClientPixel(40, 40), clYellow);  // inside the panel and the group box
  EXPECT_EQ(ClientPixel(10 + 5 + 20, 10 + 5 + 20), clYellow);
  EXPECT_EQ(ClientPixel(95, 12), clYellow);  // beside the check box's square
  SavePng("styled_controls");

  // Moving the label on the see-through panel repaints the panel's area on
  // the viewer: where the text was and is no longer, the image shows again.
  auto isText = [&](int32_t X, int32_t Y) { return ClientPixel(X, Y) != clYellow; };
  std::vector<TPoint> leftBehind;  // text now, no text two pixels to the left
  for (int32_t y = 10 + 40; y < 10 + 55; ++y)
    for (int32_t x = 10 + 60; x < 10 + 80; ++x)
      if (isText(x, y) && !isText(x - 2, y)) leftBehind.push_back(TPoint{x, y});
  ASSERT_FALSE(leftBehind.empty());
  label->SetBounds(62, 40, 20, 15);
  Driver.ProcessMessages();
  for (const TPoint& p : leftBehind) EXPECT_EQ(ClientPixel(p.X, p.Y), clYellow) << p.X << "," << p.Y;
}
