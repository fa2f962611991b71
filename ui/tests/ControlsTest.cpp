// The control layer in its own process under Wine: alignment, events, the
// message loop's idle event, pictures and the clipboard.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "common/Errors.h"
#include "common/tests/ErrorOf.h"
#include "common/tests/TestData.h"
#include "ui/Forms.h"

namespace {

const char kLayout[] =
    "form F width=300 height=200 client font=Tahoma size=8\n"
    "panel top1 id=1 parent=F align=top height=40 color=white\n"
    "panel top2 id=2 parent=F align=top height=30\n"
    "panel page id=3 parent=F align=top height=100 hidden\n"
    "panel band id=4 parent=page align=top height=20\n"
    "image pic id=5 parent=band align=right width=50 height=20 center transparent\n"
    "label auto id=6 parent=top2 left=5 top=5\n"
    "label fixed id=7 parent=top2 left=5 top=5 width=40 height=13 fixed text=abc\n"
    "edit ed id=8 parent=F left=10 top=150 width=100 height=21 tab=2\n"
    "button b1 id=9 parent=F left=120 top=150 width=60 height=22 tab=0 text=One\n"
    "button b2 id=10 parent=F left=190 top=150 width=60 height=22 tab=1 text=Two\n"
    "check c id=11 parent=F left=10 top=175 width=80 height=20 checked text=Check\n";

class Controls : public testing::Test {
 protected:
  TApplication app;
};

RECT Bounds(const TControl& c) {
  return {c.Left(), c.Top(), c.Left() + c.Width(), c.Top() + c.Height()};
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

TEST_F(Controls, TopAlignedPanelsStackAndHiddenOnesTakeNoRoom) {
  TForm form(kLayout);
  EXPECT_EQ(form.ClientWidth(), 300);
  EXPECT_EQ(form.ClientHeight(), 200);
  auto& top1 = form.Control<TPanel>("top1");
  auto& top2 = form.Control<TPanel>("top2");
  auto& page = form.Control<TPanel>("page");
  EXPECT_EQ(Bounds(top1).bottom, 40);
  EXPECT_EQ(Bounds(top2).top, 40);
  EXPECT_EQ(Bounds(top2).right, 300);
  top1.SetVisible(false);
  EXPECT_EQ(top2.Top(), 0);
  page.SetVisible(true);
  EXPECT_EQ(page.Top(), 30);
  EXPECT_EQ(page.Width(), 300);
  // A page hidden when the form was made gets its aligned children once it
  // has a size.
  auto& band = form.Control<TPanel>("band");
  EXPECT_EQ(band.Width(), 300);
  EXPECT_EQ(form.Control<TImage>("pic").Left(), 250);
  // Moving a control to another container places it there.
  auto& pic = form.Control<TImage>("pic");
  pic.SetParent(&top2);
  EXPECT_EQ(pic.Left(), 250);
  EXPECT_EQ(pic.Height(), 30);
  EXPECT_EQ(GetParent(pic.Handle()), top2.Handle());
}

TEST_F(Controls, LabelsSizeThemselvesUnlessFixed) {
  TForm form(kLayout);
  auto& autoLabel = form.Control<TLabel>("auto");
  auto& fixedLabel = form.Control<TLabel>("fixed");
  autoLabel.SetCaption(u"A short text");
  const int shortWidth = autoLabel.Width();
  EXPECT_GT(shortWidth, 0);
  autoLabel.SetCaption(u"A much, much longer text than before");
  EXPECT_GT(autoLabel.Width(), shortWidth);
  autoLabel.SetCaption(u"Two\nlines");
  EXPECT_GT(autoLabel.Height(), 13);
  fixedLabel.SetCaption(u"A much, much longer text than before");
  EXPECT_EQ(fixedLabel.Width(), 40);
  EXPECT_EQ(fixedLabel.Height(), 13);
  EXPECT_EQ(fixedLabel.Caption(), u"A much, much longer text than before");
}

TEST_F(Controls, EditChangeEventFiresOnEveryChangeOfItsText) {
  TForm form(kLayout);
  auto& edit = form.Control<TEdit>("ed");
  int changes = 0;
  edit.OnChange = [&] { ++changes; };
  edit.SetText(u"C:\\Apps");
  EXPECT_EQ(changes, 1);
  edit.SetText(u"C:\\Apps");  // the same text is no change
  EXPECT_EQ(changes, 1);
  // As typing or another program would set it.
  SendMessageW(edit.Handle(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"D:\\"));
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(edit.Text(), u"D:\\");
  edit.SetText(u"");
  EXPECT_EQ(changes, 3);
}

TEST_F(Controls, ButtonsAndCheckBoxes) {
  TForm form(kLayout);
  auto& b1 = form.Control<TButton>("b1");
  int clicks = 0;
  b1.OnClick = [&] { ++clicks; };
  SendMessageW(b1.Handle(), BM_CLICK, 0, 0);
  EXPECT_EQ(clicks, 1);
  b1.SetEnabled(false);
  EXPECT_FALSE(b1.Enabled());
  auto& c = form.Control<TCheckBox>("c");
  EXPECT_TRUE(c.Checked());
  c.SetChecked(false);
  EXPECT_FALSE(c.Checked());
  EXPECT_EQ(GetDlgCtrlID(c.Handle()), 11);
  // Tab order: the layout's numbers, then the rest in the order made.
  form.Show();
  HWND first = GetNextDlgTabItem(form.Handle(), nullptr, FALSE);
  EXPECT_EQ(GetDlgCtrlID(first), 10);  // b1 is disabled, so b2 comes first
  EXPECT_EQ(GetDlgCtrlID(GetNextDlgTabItem(form.Handle(), first, FALSE)), 8);
  EXPECT_THROW(form.Control<TEdit>("b1"), Error);
  EXPECT_EQ(form.Find("nothing"), nullptr);
}

TEST_F(Controls, IdleEventRunsOnceEachTimeTheQueueEmpties) {
  auto* form = app.CreateForm<TForm>(kLayout);
  EXPECT_EQ(app.MainForm(), form);
  int idles = 0;
  int handled = 0;
  form->Control<TButton>("b2").OnClick = [&] { ++handled; };
  app.OnIdle = [&] {
    ++idles;
    if (idles < 3) {
      PostMessageW(form->Control<TButton>("b2").Handle(), BM_CLICK, 0, 0);
    } else {
      form->Close();  // the main form: ends the loop
    }
  };
  app.Run();
  EXPECT_EQ(idles, 3);
  EXPECT_EQ(handled, 2);
  EXPECT_TRUE(app.Terminated());
}

TEST_F(Controls, ProcessMessagesHandlesWhatIsWaitingAndReturns) {
  TForm form(kLayout);
  int clicks = 0;
  form.Control<TButton>("b1").OnClick = [&] { ++clicks; };
  PostMessageW(form.Control<TButton>("b1").Handle(), BM_CLICK, 0, 0);
  PostMessageW(form.Control<TButton>("b1").Handle(), BM_CLICK, 0, 0);
  app.ProcessMessages();
  EXPECT_EQ(clicks, 2);
  EXPECT_FALSE(app.Terminated());
}

TEST_F(Controls, JpegPicturesAndTheirErrors) {
  const std::string jpeg = ReadFile(TestDataDir() + "/resources/art/IMAGELEFT0.jpg");
  ASSERT_FALSE(jpeg.empty());
  HBITMAP bitmap = DecodeJpeg(jpeg);
  ASSERT_NE(bitmap, nullptr);
  BITMAP bm{};
  GetObjectW(bitmap, sizeof bm, &bm);
  EXPECT_EQ(bm.bmWidth, 160);
  EXPECT_EQ(bm.bmHeight, 308);
  EXPECT_EQ(bm.bmBitsPixel, 24);
  DeleteObject(bitmap);
  EXPECT_NE(ErrorOf([] { DecodeJpeg("not a picture"); }).find(u"JPEG error"), std::u16string::npos);
  EXPECT_NE(ErrorOf([&] { DecodeJpeg(jpeg.substr(0, 400)); }).find(u"JPEG error"),
            std::u16string::npos);
  EXPECT_EQ(ErrorOf([] { ResourceData(RT_RCDATA, u"ImageLeft7"); }),
            u"Resource ImageLeft7 not found");
}

TEST_F(Controls, ClipboardTakesUnicodeText) {
  TForm form(kLayout);
  const std::u16string text = u"http://www.norvane.com/index_chs.shtml 诺凡";
  ASSERT_TRUE(SetClipboardText(form.Handle(), text));
  ASSERT_TRUE(OpenClipboard(form.Handle()));
  HANDLE data = GetClipboardData(CF_UNICODETEXT);
  ASSERT_NE(data, nullptr);
  const auto* p = static_cast<const char16_t*>(GlobalLock(data));
  EXPECT_EQ(std::u16string(p), text);
  GlobalUnlock(data);
  CloseClipboard();
}

TEST_F(Controls, LayoutsThatCannotBeBuilt) {
  EXPECT_NE(ErrorOf([] {
              TForm f("form F width=10 height=10\nlabel a parent=F\nlabel b parent=a\n");
            }).find(u"cannot hold"),
            std::u16string::npos);
}

// The title bar gets the small icon of its own, Alt+Tab the large one; a
// program without a small one has the large one shrunk.
TEST_F(Controls, FormsTakeTheApplicationsIconsOfBothSizes) {
  HICON big = LoadIconW(nullptr, IDI_APPLICATION);
  HICON smallIcon = LoadIconW(nullptr, IDI_INFORMATION);
  app.SetIcon(big, smallIcon);
  {
    TForm form(kLayout);
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(form.Handle(), WM_GETICON, ICON_BIG, 0)), big);
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(form.Handle(), WM_GETICON, ICON_SMALL, 0)),
              smallIcon);
  }
  app.SetIcon(big);
  TForm form(kLayout);
  EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(form.Handle(), WM_GETICON, ICON_SMALL, 0)), big);
}

// A label answers for its font as the standard controls do.
TEST_F(Controls, LabelsAnswerForTheirFont) {
  TForm form(kLayout);
  auto& label = form.Control<TLabel>("fixed");
  EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(label.Handle(), WM_GETFONT, 0, 0)),
            FontHandle(label.Font()));
}

// High contrast, one level down: Wine keeps no high-contrast setting
// (SPI_SETHIGHCONTRAST fails, SPI_GETHIGHCONTRAST always says off), so the
// setting is set as the news of a change would set it, with the system's
// colours of a high-contrast scheme, and the pixels are read back from the
// screen: the white and cream bands take the window colour, their text the
// window text colour, text on the button face the button text colour.
TEST_F(Controls, HighContrastGivesTheFixedColoursTheSystemsOnes) {
  const char layout[] =
      "form F width=240 height=164 client color=btnface font=Tahoma size=8\n"
      "panel white id=1 parent=F align=top height=30 color=white\n"
      "label onWhite id=2 parent=white left=4 top=4 width=200 height=20 fixed text=\"WWWWWWWW\"\n"
      "panel cream id=3 parent=F align=top height=30 color=cream\n"
      "label onFace id=4 parent=F left=4 top=64 width=200 height=20 fixed text=\"WWWWWWWW\"\n"
      "edit box id=5 parent=F left=4 top=92 width=232 height=24 fontcolor=navy text=\"WWWWWWWW\"\n"
      "memo lines id=6 parent=F left=4 top=120 width=232 height=40 readonly fontcolor=navy\n";
  const INT elements[] = {COLOR_WINDOW, COLOR_WINDOWTEXT, COLOR_BTNFACE, COLOR_BTNTEXT};
  COLORREF saved[4];
  for (int i = 0; i < 4; ++i)
    saved[i] = GetSysColor(elements[i]);
  const COLORREF scheme[] = {RGB(0, 0, 0), RGB(255, 255, 0), RGB(0, 0, 128), RGB(0, 255, 0)};
  struct Row {
    bool highContrast;
    POINT at;  // client point in the form
    COLORREF background;
    COLORREF text;  // the label's text there
  };
  const Row rows[] = {
      {false, {220, 15}, RGB(255, 255, 255), RGB(0, 0, 0)},
      {false, {220, 45}, RGB(255, 251, 240), CLR_INVALID},
      {false, {220, 104}, RGB(255, 255, 255), RGB(0, 0, 128)},  // the edit box's own colour
      {false, {220, 130}, RGB(255, 255, 255), RGB(0, 0, 128)},  // and the memo's
      {true, {220, 15}, scheme[0], scheme[1]},
      {true, {220, 45}, scheme[0], CLR_INVALID},
      {true, {220, 75}, scheme[2], scheme[3]},
      {true, {220, 104}, scheme[0], scheme[1]},
      {true, {220, 130}, scheme[0], scheme[1]},
  };
  TForm form(layout);
  form.Control<TMemo>("lines").SetLines({u"WWWWWWWW"});
  form.Show();
  const auto pixel = [](POINT p) {
    HDC screen = GetDC(nullptr);
    const COLORREF c = GetPixel(screen, p.x, p.y);
    ReleaseDC(nullptr, screen);
    return c;
  };
  for (const Row& row : rows) {
    SetSysColors(4, elements, row.highContrast ? scheme : saved);
    app.ProcessMessages();
    SetHighContrast(row.highContrast);
    RedrawWindow(form.Handle(), nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    GdiFlush();
    POINT p = row.at;
    ClientToScreen(form.Handle(), &p);
    // The screen shows what was painted within a moment.
    const DWORD start = GetTickCount();
    while (pixel(p) != row.background && GetTickCount() - start < 5000) {
      app.ProcessMessages();  // Wine shows a window's painting from its message loop
      Sleep(20);
    }
    EXPECT_EQ(pixel(p), row.background) << row.highContrast << " " << row.at.y;
    if (row.text != CLR_INVALID) {
      // Some pixel of the label's text is in the text colour, once the text
      // is drawn over its background (a slow machine shows the two apart).
      const auto textShown = [&] {
        for (int x = p.x - 216; x < p.x - 120; ++x) {
          for (int y = p.y - 10; y < p.y + 4; ++y) {
            if (pixel({x, y}) == row.text)
              return true;
          }
        }
        return false;
      };
      bool found = textShown();
      for (const DWORD begun = GetTickCount(); !found && GetTickCount() - begun < 5000;) {
        app.ProcessMessages();
        Sleep(50);
        found = textShown();
      }
      EXPECT_TRUE(found) << row.highContrast << " " << row.at.y;
    }
  }
  // The news of a change makes the form read the setting again: here the
  // system's, which Wine always gives as off.
  SetSysColors(4, elements, saved);
  SendMessageW(form.Handle(), WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST, 0);
  EXPECT_FALSE(HighContrast()) << "the setting was not read again";
  SetHighContrast(false);
}
