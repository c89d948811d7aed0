// The toolkit's model: ids, layout, radio groups, text conversions and dialog filters, without a
// display (no widget is created). Release of registered objects: MainFormTest.
#include "ui/Window.h"
#include "ui/FileDialog.h"
#include "ui/MemoText.h"

#include <gtest/gtest.h>

using namespace audiolens;
using namespace audiolens::ui;

TEST(Toolkit, MoveResizeAlignAndClientSize) {
    auto Place = [](const TWindow* w) { // left, top, width and height
        const TRect& r = w->Bounds();
        return std::to_string(r.Left) + "," + std::to_string(r.Top) + "," +
               std::to_string(r.Width()) + "," + std::to_string(r.Height());
    };
    TRef<TWindow> form(CreateForm("Test"));
    TWindow* b = CreateButton(form.Get(), "b");
    b->MoveTo(10, 20);
    b->Resize(85, 29);
    b->Resize(0, 40); // 0 keeps the width
    EXPECT_EQ(Place(b), "10,20,85,40");
    form->SetClientSize(400, 300);
    form->SetClientSize(-1, 0); // keeps both
    EXPECT_EQ(Place(form.Get()), "0,0,400,300");
    // Top alignment stretches along the top edge, one control below the other; the client
    // alignment takes the rest; both follow the parent's width.
    TWindow* memo = CreateMemo(form.Get(), moMultiLine);
    memo->MoveTo(50, 60);
    memo->Resize(0, 120);
    memo->SetAlign(alTop);
    EXPECT_EQ(Place(memo), "0,0,400,120");
    TWindow* second = CreateMemo(form.Get(), moMultiLine);
    second->Resize(0, 30);
    second->SetAlign(alTop);
    TWindow* rest = CreateMemo(form.Get(), moMultiLine);
    rest->SetAlign(alClient);
    EXPECT_EQ(Place(second) + " " + Place(rest), "0,120,400,30 0,150,400,150");
    form->SetClientSize(500, 0);
    EXPECT_EQ(Place(memo) + " " + Place(rest), "0,0,500,120 0,150,500,150");
}

TEST(Toolkit, ControlsUnderTheirParentsAndARadioClickChecksOnlyTheClickedOne) {
    TRef<TWindow> form(CreateForm("Test"));
    TWindow* group = CreateGroupBox(form.Get(), "G");
    TWindow* button = CreateButton(group, "not a radio");
    TWindow* r[] = {CreateRadioButton(group, "1"), CreateRadioButton(group, "2"),
                    CreateRadioButton(group, "3"), button,
                    CreateRadioButton(CreateGroupBox(form.Get(), "H"), "o")};
    TWindow* memo = CreateMemo(form.Get(), moMultiLine);
    TWindow* line = CreateMemo(form.Get(), 0);
    EXPECT_EQ(form->GetCaption() + form->ClassName() + button->ClassName() + r[0]->ClassName() +
                  memo->ClassName(),
              "TestFormBUTTONBUTTONEDIT");
    EXPECT_EQ(memo->MemoOptions() | line->MemoOptions(), moMultiLine);
    EXPECT_TRUE(form->ChildCount() == 4 && form->Child(2) == memo && !form->Child(4) &&
                group->Child(1) == r[0] && r[0]->Parent() == group);
    // Ids count up from 32768 for controls alone.
    EXPECT_TRUE(form->Id() == 0 && group->Id() >= 32768 && r[0]->Id() == group->Id() + 2);
    EXPECT_FALSE(form->HandleAllocated() || button->HandleAllocated());
    EXPECT_TRUE(group->FirstRadioId == r[0]->Id() && group->LastRadioId == r[2]->Id());
    auto checked = [&] {
        std::string bits;
        for (TWindow* w : r)
            bits += "01"[w->IsChecked()];
        return bits;
    };
    std::string seen;
    r[1]->OnClick = [&](TWindow& sender) { // after the button's own action
        seen += sender.GetCaption() + "01"[sender.IsChecked()];
    };
    button->OnClick = [&](TWindow&) { seen += "b"; };
    // Clicking a checked one keeps it checked; another group's radio button (r[4]) is separate.
    std::string states = checked();
    for (TWindow* clicked : {r[0], r[1], r[1], button, r[4]}) {
        clicked->Click();
        states += " " + checked();
    }
    EXPECT_EQ(states, "00000 10000 01000 01000 01000 01001");
    EXPECT_EQ(seen, "2121b");
}

TEST(Toolkit, MemoTextShowsReportLinesAsLinesInUtf8) {
    // Caption and widget text, each the other's conversion; bytes that are no UTF-8 are shown as
    // Windows-1252 (0xE9 is e acute).
    for (const auto& [caption, widget] :
         {std::pair{"File: a\r\nBits: 16\r\n", "File: a\nBits: 16\n"},
          std::pair{"\r\nGrüß", "\nGrüß"}}) {
        EXPECT_EQ(WidgetText(caption), widget);
        EXPECT_EQ(CaptionText(widget), caption);
    }
    EXPECT_EQ(WidgetText("caf\xe9"), "caf\xc3\xa9");
    EXPECT_EQ(CaptionText("a\r\nb"), "a\r\nb");
}

TEST(FileDialog, OptionsAndFilters) {
    // Explorer style, long names and sizing are always added. Requests: MainFormTest.
    TRef<TFileDialog> d(CreateFileDialog("t", "/tmp", ofReadOnly));
    EXPECT_EQ(d->Title + d->InitialDir, "t/tmp");
    EXPECT_EQ(d->Options, ofReadOnly | ofExplorer | ofLongNames | ofEnableSizing);
    const std::pair<const char*, const char*> filters[] = {
        {"Midi files|*.mid;*.rmi;*.riff", "Midi files ({*.mid,*.rmi,*.riff})"},
        {"Wave|*.wav;", "Wave (*.wav)"},
        {"A|*.a|B|*.b;*.c", "A (*.a)\tB ({*.b,*.c})"},
        {"", ""}};
    for (const auto& [filter, chooser] : filters)
        EXPECT_EQ(ChooserFilter(filter), chooser) << filter;
}
