// The toolkit's model: ids, default sizes, layout, radio groups, ownership and the dialog seam,
// all without a display (no widget is created).
#include "ui/Window.h"
#include "ui/FileDialog.h"
#include "ui/MemoText.h"

#include <gtest/gtest.h>

using namespace audiolens;
using namespace audiolens::ui;

namespace {

struct TFormHolder {
    TRef<TWindow> Form{CreateForm("Test")};
};

class TFlagObject : public TObject {
  public:
    explicit TFlagObject(bool& released) : Released(released) {}

  protected:
    ~TFlagObject() override { Released = true; }

  private:
    bool& Released;
};

} // namespace

TEST(Toolkit, ControlsCountUpTheirIdsUnderTheirParents) {
    TFormHolder h;
    EXPECT_EQ(h.Form->GetCaption(), "Test");
    TWindow* button = CreateButton(h.Form.Get(), "B");
    TWindow* group = CreateGroupBox(h.Form.Get(), "G");
    TWindow* radio = CreateRadioButton(group, "R");
    CreateMemo(h.Form.Get(), moMultiLine);
    EXPECT_EQ(h.Form->ChildCount(), 3);
    EXPECT_EQ(h.Form->Child(1), group);
    EXPECT_EQ(h.Form->Child(3), nullptr);
    EXPECT_EQ(group->Child(0), radio);
    EXPECT_EQ(radio->Parent(), group);
    EXPECT_EQ(h.Form->Id(), 0);
    EXPECT_GE(button->Id(), 32768);
    EXPECT_EQ(radio->Id(), button->Id() + 2);
    EXPECT_FALSE(h.Form->HandleAllocated() || button->HandleAllocated());
}

TEST(Toolkit, MoveResizeAndClientSize) {
    TFormHolder h;
    TWindow* b = CreateButton(h.Form.Get(), "b");
    b->MoveTo(10, 20);
    b->Resize(85, 29);
    EXPECT_EQ(b->Bounds().Left, 10);
    EXPECT_EQ(b->Bounds().Top, 20);
    EXPECT_EQ(b->Bounds().Right, 95);
    EXPECT_EQ(b->Bounds().Bottom, 49);
    b->Resize(0, 40); // 0 keeps the width
    EXPECT_EQ(b->Bounds().Width(), 85);
    EXPECT_EQ(b->Bounds().Height(), 40);
    h.Form->SetClientSize(300, 200);
    h.Form->SetClientSize(-1, 0); // keeps both
    EXPECT_EQ(h.Form->ClientRect().Width(), 300);
    EXPECT_EQ(h.Form->ClientRect().Height(), 200);
}

TEST(Toolkit, TopAlignmentStretchesAlongTheTopEdgeAndFollowsTheParent) {
    TFormHolder h;
    h.Form->SetClientSize(400, 300);
    TWindow* memo = CreateMemo(h.Form.Get(), moMultiLine);
    memo->MoveTo(50, 60);
    memo->Resize(0, 120);
    memo->SetAlign(alTop);
    EXPECT_EQ(memo->Align(), alTop);
    EXPECT_EQ(memo->Bounds().Left, 0);
    EXPECT_EQ(memo->Bounds().Top, 0);
    EXPECT_EQ(memo->Bounds().Width(), 400);
    EXPECT_EQ(memo->Bounds().Height(), 120);
    TWindow* second = CreateMemo(h.Form.Get(), moMultiLine);
    second->Resize(0, 30);
    second->SetAlign(alTop);
    EXPECT_EQ(second->Bounds().Top, 120);
    TWindow* rest = CreateMemo(h.Form.Get(), moMultiLine);
    rest->SetAlign(alClient);
    EXPECT_EQ(rest->Bounds().Top, 150);
    EXPECT_EQ(rest->Bounds().Height(), 150);
    h.Form->SetClientSize(500, 0);
    EXPECT_EQ(memo->Bounds().Width(), 500);
    EXPECT_EQ(rest->Bounds().Width(), 500);
}

TEST(Toolkit, RadioGroupRecordsIdsAndAClickChecksOnlyTheClickedOne) {
    TFormHolder h;
    TWindow* group = CreateGroupBox(h.Form.Get(), "G");
    TWindow* button = CreateButton(group, "not a radio");
    TWindow* r1 = CreateRadioButton(group, "1");
    TWindow* r2 = CreateRadioButton(group, "2");
    TWindow* r3 = CreateRadioButton(group, "3");
    EXPECT_EQ(group->FirstRadioId, r1->Id());
    EXPECT_EQ(group->LastRadioId, r3->Id());
    EXPECT_FALSE(r1->IsChecked() || r2->IsChecked() || r3->IsChecked());

    std::vector<std::string> seen;
    r2->OnClick = [&](TWindow& sender) {
        // The event comes after the button's own action.
        seen.push_back(sender.GetCaption() + (sender.IsChecked() ? " checked" : " clear"));
    };
    r1->Click();
    EXPECT_TRUE(r1->IsChecked());
    r2->Click();
    EXPECT_FALSE(r1->IsChecked());
    EXPECT_TRUE(r2->IsChecked());
    EXPECT_FALSE(r3->IsChecked());
    r2->Click(); // clicking a checked one keeps it checked
    EXPECT_TRUE(r2->IsChecked());
    EXPECT_EQ(seen, (std::vector<std::string>{"2 checked", "2 checked"}));
    EXPECT_FALSE(button->IsChecked());

    int clicks = 0;
    button->OnClick = [&](TWindow&) { ++clicks; };
    button->Click();
    EXPECT_EQ(clicks, 1);
    EXPECT_TRUE(r2->IsChecked());
    // Another group's radio buttons are separate.
    TWindow* other = CreateRadioButton(CreateGroupBox(h.Form.Get(), "H"), "o");
    other->Click();
    EXPECT_TRUE(other->IsChecked() && r2->IsChecked());
}

TEST(Toolkit, RegisteredObjectsAreReleasedWithTheWindow) {
    bool first = false, second = false;
    {
        TFormHolder h;
        RegisterOwned(h.Form.Get(), new TFlagObject(first));
        RegisterOwned(h.Form.Get(), new TFlagObject(second));
        EXPECT_FALSE(first || second);
    }
    EXPECT_TRUE(first);
    EXPECT_TRUE(second);
}

TEST(Toolkit, MemoTextShowsReportLinesAsLinesInUtf8) {
    EXPECT_EQ(WidgetText("File: a\r\nBits: 16\r\n"), "File: a\nBits: 16\n");
    EXPECT_EQ(WidgetText("Title: Gr\xc3\xbc\xc3\x9f"
                         "e\r\n"),
              "Title: Gr\xc3\xbc\xc3\x9f"
              "e\n");
    // Bytes that are no UTF-8 are shown as Windows-1252: 0xE9 is e acute.
    EXPECT_EQ(WidgetText("caf\xe9"), "caf\xc3\xa9");
    EXPECT_EQ(CaptionText("a\nb\n"), "a\r\nb\r\n");
    EXPECT_EQ(CaptionText("a\r\nb"), "a\r\nb");
}

TEST(FileDialog, DefaultOptions) {
    TRef<TFileDialog> d(CreateFileDialog("t", "/tmp"));
    EXPECT_EQ(d->Options, ofFileMustExist | ofPathMustExist | ofHideReadOnly | ofOverwritePrompt |
                              ofExplorer | ofLongNames | ofEnableSizing);
    TRef<TFileDialog> m(CreateFileDialog("t", "", ofAllowMultiSelect));
    EXPECT_EQ(m->Options, ofAllowMultiSelect | ofExplorer | ofLongNames | ofEnableSizing);
    EXPECT_EQ(d->Title, "t");
    EXPECT_EQ(d->InitialDir, "/tmp");
}

TEST(FileDialog, RequestAnswersAndCancelKeepsTheName) {
    TRef<TFileDialog> d(CreateFileDialog("", ""));
    d->FileName = "/old/name.wav";
    d->Request = [](TFileDialog&) { return false; };
    EXPECT_FALSE(d->Execute());
    EXPECT_EQ(d->FileName, "/old/name.wav");
    d->Request = [](TFileDialog& dialog) {
        dialog.FileName = "/new/name.mp3";
        return true;
    };
    EXPECT_TRUE(d->Execute());
    EXPECT_EQ(d->FileName, "/new/name.mp3");
}

TEST(FileDialog, FilterBecomesTheChoosersPatterns) {
    EXPECT_EQ(ChooserFilter("Midi files|*.mid;*.rmi;*.riff"), "Midi files ({*.mid,*.rmi,*.riff})");
    EXPECT_EQ(ChooserFilter("Wave|*.wav;"), "Wave (*.wav)");
    EXPECT_EQ(ChooserFilter("A|*.a|B|*.b;*.c"), "A (*.a)\tB ({*.b,*.c})");
    EXPECT_EQ(ChooserFilter(""), "");
}
