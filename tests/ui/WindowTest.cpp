// The toolkit's model: ids, layout, radio groups, ownership and the dialog seam, all without a
// display (no widget is created).
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

// Left, top, width and height.
std::string Place(const TWindow* w) {
    const TRect& r = w->Bounds();
    return std::to_string(r.Left) + "," + std::to_string(r.Top) + "," + std::to_string(r.Width()) +
           "," + std::to_string(r.Height());
}

} // namespace

TEST(Toolkit, ControlsCountUpTheirIdsUnderTheirParents) {
    TFormHolder h;
    EXPECT_EQ(h.Form->GetCaption(), "Test");
    TWindow* button = CreateButton(h.Form.Get(), "B");
    TWindow* group = CreateGroupBox(h.Form.Get(), "G");
    TWindow* radio = CreateRadioButton(group, "R");
    TWindow* memo = CreateMemo(h.Form.Get(), moMultiLine);
    TWindow* line = CreateMemo(h.Form.Get(), 0);
    EXPECT_EQ(h.Form->ClassName() + button->ClassName() + radio->ClassName() + memo->ClassName(),
              "FormBUTTONBUTTONEDIT");
    EXPECT_EQ(memo->MemoOptions() | line->MemoOptions(), moMultiLine);
    EXPECT_EQ(h.Form->ChildCount(), 4);
    EXPECT_EQ(h.Form->Child(1), group);
    EXPECT_EQ(h.Form->Child(4), nullptr);
    EXPECT_EQ(group->Child(0), radio);
    EXPECT_EQ(radio->Parent(), group);
    EXPECT_EQ(h.Form->Id(), 0);
    EXPECT_GE(button->Id(), 32768);
    EXPECT_EQ(radio->Id(), button->Id() + 2);
    EXPECT_FALSE(h.Form->HandleAllocated() || button->HandleAllocated());
    radio->SetColor(clWindow);
    EXPECT_EQ(radio->Color() & SystemColorBit, SystemColorBit);
}

TEST(Toolkit, MoveResizeAlignAndClientSize) {
    TFormHolder h;
    TWindow* b = CreateButton(h.Form.Get(), "b");
    b->MoveTo(10, 20);
    b->Resize(85, 29);
    EXPECT_EQ(b->Bounds().Right + b->Bounds().Bottom, 95 + 49);
    b->Resize(0, 40); // 0 keeps the width
    EXPECT_EQ(Place(b), "10,20,85,40");
    h.Form->SetClientSize(400, 300);
    h.Form->SetClientSize(-1, 0); // keeps both
    EXPECT_EQ(h.Form->ClientRect().Width() * 1000 + h.Form->ClientRect().Height(), 400300);
    // Top alignment stretches along the top edge, one control below the other; the client
    // alignment takes the rest; both follow the parent's width.
    TWindow* memo = CreateMemo(h.Form.Get(), moMultiLine);
    memo->MoveTo(50, 60);
    memo->Resize(0, 120);
    memo->SetAlign(alTop);
    EXPECT_EQ(memo->Align(), alTop);
    EXPECT_EQ(Place(memo), "0,0,400,120");
    TWindow* second = CreateMemo(h.Form.Get(), moMultiLine);
    second->Resize(0, 30);
    second->SetAlign(alTop);
    TWindow* rest = CreateMemo(h.Form.Get(), moMultiLine);
    rest->SetAlign(alClient);
    EXPECT_EQ(Place(second) + " " + Place(rest), "0,120,400,30 0,150,400,150");
    h.Form->SetClientSize(500, 0);
    EXPECT_EQ(Place(memo) + " " + Place(rest), "0,0,500,120 0,150,500,150");
}

TEST(Toolkit, RadioGroupRecordsIdsAndAClickChecksOnlyTheClickedOne) {
    TFormHolder h;
    TWindow* group = CreateGroupBox(h.Form.Get(), "G");
    TWindow* button = CreateButton(group, "not a radio");
    TWindow* r[] = {CreateRadioButton(group, "1"), CreateRadioButton(group, "2"),
                    CreateRadioButton(group, "3")};
    EXPECT_EQ(group->FirstRadioId, r[0]->Id());
    EXPECT_EQ(group->LastRadioId, r[2]->Id());
    auto checked = [&] {
        return std::string() + "01"[r[0]->IsChecked()] + "01"[r[1]->IsChecked()] +
               "01"[r[2]->IsChecked()] + "01"[button->IsChecked()];
    };
    EXPECT_EQ(checked(), "0000");
    std::vector<std::string> seen;
    r[1]->OnClick = [&](TWindow& sender) { // after the button's own action
        seen.push_back(sender.GetCaption() + (sender.IsChecked() ? " checked" : " clear"));
    };
    r[0]->Click();
    EXPECT_EQ(checked(), "1000");
    r[1]->Click();
    r[1]->Click(); // clicking a checked one keeps it checked
    EXPECT_EQ(checked(), "0100");
    EXPECT_EQ(seen, (std::vector<std::string>{"2 checked", "2 checked"}));
    int clicks = 0;
    button->OnClick = [&](TWindow&) { ++clicks; };
    button->Click();
    EXPECT_EQ(clicks, 1);
    // Another group's radio buttons are separate.
    TWindow* other = CreateRadioButton(CreateGroupBox(h.Form.Get(), "H"), "o");
    other->Click();
    EXPECT_TRUE(other->IsChecked());
    EXPECT_EQ(checked(), "0100");
}

TEST(Toolkit, RegisteredObjectsAreReleasedWithTheWindow) {
    bool first = false, second = false;
    {
        TFormHolder h;
        RegisterOwned(h.Form.Get(), new TFlagObject(first));
        RegisterOwned(h.Form.Get(), new TFlagObject(second));
        EXPECT_FALSE(first || second);
    }
    EXPECT_TRUE(first && second);
}

TEST(Toolkit, MemoTextShowsReportLinesAsLinesInUtf8) {
    EXPECT_EQ(WidgetText("File: a\r\nBits: 16\r\n"), "File: a\nBits: 16\n");
    EXPECT_EQ(WidgetText("Gr\xc3\xbc\xc3\x9f\r\n"), "Gr\xc3\xbc\xc3\x9f\n");
    // Bytes that are no UTF-8 are shown as Windows-1252: 0xE9 is e acute.
    EXPECT_EQ(WidgetText("caf\xe9"), "caf\xc3\xa9");
    EXPECT_EQ(CaptionText("a\nb\n"), "a\r\nb\r\n");
    EXPECT_EQ(CaptionText("a\r\nb"), "a\r\nb");
}

TEST(FileDialog, OptionsRequestsAndFilters) {
    TRef<TFileDialog> d(CreateFileDialog("t", "/tmp"));
    EXPECT_EQ(d->Options, ofFileMustExist | ofPathMustExist | ofHideReadOnly | ofOverwritePrompt |
                              ofExplorer | ofLongNames | ofEnableSizing);
    TRef<TFileDialog> m(CreateFileDialog("t", "", ofAllowMultiSelect));
    EXPECT_EQ(m->Options, ofAllowMultiSelect | ofExplorer | ofLongNames | ofEnableSizing);
    EXPECT_EQ(d->Title + d->InitialDir, "t/tmp");
    // A cancelled request keeps the name.
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
    EXPECT_EQ(ChooserFilter("Midi files|*.mid;*.rmi;*.riff"), "Midi files ({*.mid,*.rmi,*.riff})");
    EXPECT_EQ(ChooserFilter("Wave|*.wav;"), "Wave (*.wav)");
    EXPECT_EQ(ChooserFilter("A|*.a|B|*.b;*.c"), "A (*.a)\tB ({*.b,*.c})");
    EXPECT_EQ(ChooserFilter(""), "");
}
