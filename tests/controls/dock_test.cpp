// Docks: rows, packing, pulling back, sizing and the errors they raise.
#include <gtest/gtest.h>

#include "controls/toolbars.h"
#include "platform/ui/test_driver.h"
#include "toolbar_form.h"

namespace {

using DockTest = TToolbarFormTest;

TEST_F(DockTest, EmptyDockThickness) {
  EXPECT_EQ(Form->TopDock->Height(), 0);
  EXPECT_EQ(Form->LeftDock->Width(), 0);
  Form->TopDock->SetFixAlign(true);
  EXPECT_EQ(Form->TopDock->Height(), 1);
}

TEST_F(DockTest, BarDockedAtTopTakesRowHeight) {
  TToolbar* bar = Form->MakeBar("A", 2, {}, Form->TopDock);
  driver.ProcessMessages();
  EXPECT_EQ(bar->Parent(), Form->TopDock);
  EXPECT_EQ(bar->Height(), 22 + 4);
  EXPECT_EQ(Form->TopDock->Height(), 26);
  // Grip start 11, two buttons, end margin 2.
  EXPECT_EQ(bar->Width(), 11 + 46 + 2);
  EXPECT_EQ(Form->Buttons_[0]->Left(), 11);
  EXPECT_EQ(Form->Buttons_[0]->Top(), 2);
}

TEST_F(DockTest, EmptyBarDockedAtTop) {
  TToolbar* bar = Form->MakeBar("E", 0, {}, Form->TopDock);
  EXPECT_EQ(bar->ClientWidth(), 11 + 8 + 2);
  EXPECT_EQ(bar->Height(), 12);
}

TEST_F(DockTest, NoGripWithoutAllowDrag) {
  Form->TopDock->SetAllowDrag(false);
  Form->MakeBar("A", 1, {}, Form->TopDock);
  EXPECT_EQ(Form->Buttons_[0]->Left(), 2);
}

TEST_F(DockTest, RowsCloseUpAndEmptyRowsBetween) {
  TToolbar* a = Form->MakeBar("A", 1, {}, Form->TopDock);
  TToolbar* b = Form->MakeBar("B", 1, {}, Form->TopDock);
  b->SetDockRow(2);
  EXPECT_EQ(a->DockRow(), 0);
  EXPECT_EQ(b->DockRow(), 1);
  EXPECT_EQ(b->Top(), 26);
  // Rows 0 and 3: one pass removes one of the two empty rows.
  b->SetDockRow(3);
  EXPECT_EQ(b->DockRow(), 2);
  EXPECT_EQ(b->Top(), 26 + 8);
  EXPECT_EQ(Form->TopDock->Height(), 26 + 8 + 26);
  Form->TopDock->SetLimitToOneRow(true);
  Form->TopDock->ArrangeToolbars();
  EXPECT_EQ(b->DockRow(), 0);
  EXPECT_EQ(Form->TopDock->Height(), 26);
}

TEST_F(DockTest, SamePositionPushedAlong) {
  TToolbar* a = Form->MakeBar("A", 2, {}, Form->TopDock);
  TToolbar* b = Form->MakeBar("B", 1, {}, Form->TopDock);
  a->SetDockPos(100);
  b->SetDockPos(100);
  TToolbar* first = a->Left() < b->Left() ? a : b;
  TToolbar* second = first == a ? b : a;
  EXPECT_EQ(first->Left(), 100);
  EXPECT_EQ(second->Left(), 100 + first->Width());
  EXPECT_EQ(second->DockPos(), 100 + first->Width());
  EXPECT_EQ(a->Top(), b->Top());
}

TEST_F(DockTest, OverflowingRowMovesBack) {
  TToolbar* a = Form->MakeBar("A", 4, {}, Form->TopDock);
  TToolbar* b = Form->MakeBar("B", 4, {}, Form->TopDock);
  a->SetDockPos(200);
  b->SetDockPos(0);
  int32_t w = Form->TopDock->ClientWidth();
  ASSERT_EQ(a->Left(), 200);
  b->SetDockPos(w - b->Width() + 30);
  EXPECT_EQ(b->Left(), w - b->Width());
  EXPECT_EQ(a->Left(), 170);
  // Pushed below 0: the first bar starts at 0 and the next follows it.
  a->SetDockPos(10);
  b->SetDockPos(w - 20);
  EXPECT_EQ(a->Left(), 0);
  EXPECT_EQ(b->Left(), w - b->Width());
  // A row longer than the dock: each bar follows the previous one.
  for (int32_t i = 0; i < 4; ++i) Form->MakeBar("X", 4, {}, Form->TopDock)->SetDockPos(w);
  int32_t end = 0;
  for (TToolbar* bar : Form->TopDock->DockList()) {
    EXPECT_GE(bar->Left(), end);
    end = bar->Left() + bar->Width();
  }
}

TEST_F(DockTest, ShorterBarGetsRowHeight) {
  TToolbar* a = Form->MakeBar("A", 1, {}, Form->TopDock);
  TToolbar* b = Form->MakeBar("B", 1, {}, Form->TopDock);
  Form->Buttons_[1]->SetHeight(26);
  b->UpdateToolbarLayout();
  Form->TopDock->ArrangeToolbars();
  EXPECT_EQ(b->Height(), 30);
  EXPECT_EQ(a->Height(), 30);
}

TEST_F(DockTest, RowUnderPointer) {
  Form->MakeBar("A", 1, {}, Form->TopDock);
  // One row 26 + 4 = 30 high needs a 26-pixel control.
  Form->Buttons_[0]->SetHeight(26);
  Form->TopDock->ArrangeToolbars();
  ASSERT_EQ(Form->TopDock->RowSizes().at(0).HorzExtent, 30);
  bool insert = false;
  EXPECT_EQ(Form->TopDock->GetRowOf(3, insert), 0);
  EXPECT_TRUE(insert);
  EXPECT_EQ(Form->TopDock->GetRowOf(15, insert), 0);
  EXPECT_FALSE(insert);
  EXPECT_EQ(Form->TopDock->GetRowOf(27, insert), 1);
  EXPECT_TRUE(insert);
  EXPECT_EQ(Form->TopDock->GetRowOf(40, insert), 1);
  EXPECT_FALSE(insert);
}

TEST_F(DockTest, ErrorsLeaveDockUnchanged) {
  Form->MakeBar("A", 1, {}, Form->TopDock);
  try {
    Form->TopDock->SetPosition(dpLeft);
    FAIL();
  } catch (const EInvalidOperation& e) {
    EXPECT_STREQ(e.what(), "Cannot change Position of a TDock if it already contains controls");
  }
  EXPECT_EQ(Form->TopDock->Position(), dpTop);
  EXPECT_THROW(Form->TopDock->Hide(), EInvalidOperation);
  EXPECT_TRUE(Form->TopDock->Visible());
  auto* panel = new TPanel(Form);
  panel->SetParent(Form);
  auto* bar = new TToolbar(Form);
  EXPECT_THROW(bar->SetParent(panel), EInvalidOperation);
  auto* inner = new TDock(Form);
  EXPECT_THROW(inner->SetParent(Form->TopDock), EInvalidOperation);
  EXPECT_THROW(new TDock(nullptr), EInvalidOperation);
  auto* sep = new TToolbarSep(Form);
  EXPECT_THROW(sep->SetParent(panel), EInvalidOperation);
}

TEST_F(DockTest, BottomAndRightDocksKeepTheirOuterEdge) {
  int32_t bottom = Form->BottomDock->Top() + Form->BottomDock->Height();
  int32_t right = Form->RightDock->Left() + Form->RightDock->Width();
  Form->MakeBar("B", 2, {}, Form->BottomDock);
  Form->MakeBar("R", 2, {}, Form->RightDock);
  driver.ProcessMessages();
  EXPECT_EQ(Form->BottomDock->Height(), 26);
  EXPECT_EQ(Form->BottomDock->Top() + Form->BottomDock->Height(), bottom);
  EXPECT_EQ(Form->RightDock->Width(), 27);
  EXPECT_EQ(Form->RightDock->Left() + Form->RightDock->Width(), right);
}

TEST_F(DockTest, InsertRemoveEventAndDockChangeEvents) {
  std::vector<std::string> log;
  Form->TopDock->OnInsertRemoveBar = [&](TObject*, bool Inserting, TToolbar*) {
    log.push_back(Inserting ? "in" : "out");
  };
  TToolbar* bar = Form->MakeBar("A", 1, {}, nullptr);
  bar->OnDockChanging = [&](TObject*) { log.push_back("changing"); };
  bar->OnDockChanged = [&](TObject*) { log.push_back("changed"); };
  bar->SetDockedTo(Form->TopDock);
  bar->SetDockedTo(Form->TopDock);
  bar->Hide();
  bar->Show();
  bar->SetDockedTo(nullptr);
  // The bar shown again after the move re-enters the dock, which reports it once more.
  std::vector<std::string> want{"changing", "in", "in", "changed", "out", "in", "changing", "out", "changed"};
  EXPECT_EQ(log, want);
}

}  // namespace
