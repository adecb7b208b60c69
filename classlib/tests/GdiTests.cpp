// The Windows side of the class layer's drawing and timers: 32-bit bitmaps and their rows,
// canvas drawing, and a timer whose handler throws (no display needed).
#include "classlib/ExtCtrls.h"
#include "classlib/Forms.h"
#include "classlib/Graphics.h"

#include <gtest/gtest.h>

namespace {

TEST(Gdi, BitmapRowsAreTopDownBgraAndCanvasDrawsIntoThem)
{
    TBitmap b(8, 4);
    EXPECT_EQ(b.ScanLine(0)[0], 0) << "a new bitmap is black";
    b.Canvas()->SetPixel(2, 3, 0x332211);   // red 0x11, green 0x22, blue 0x33
    const uint8_t* p = b.ScanLine(3) + 2 * 4;
    EXPECT_EQ(p[0], 0x33);
    EXPECT_EQ(p[1], 0x22);
    EXPECT_EQ(p[2], 0x11);
    b.Canvas()->Brush().Color = clWhite;
    b.Canvas()->FillRect(Rect(0, 0, 8, 1));
    EXPECT_EQ(b.ScanLine(0)[7 * 4], 0xFF);
    EXPECT_EQ(b.ScanLine(1)[0], 0);
    b.Canvas()->Brush().Style = TBrushStyle::bsClear;
    b.Canvas()->FillRect(Rect(0, 1, 8, 2));
    EXPECT_EQ(b.ScanLine(1)[0], 0) << "a clear brush fills nothing";
    EXPECT_THROW(b.ScanLine(4), EInvalidOperation);
    EXPECT_GT(b.Canvas()->TextWidth("Wide text"), b.Canvas()->TextWidth("W"));
}

struct Thrower : TObject {
    int ticks = 0;
    int reported = 0;
    void Tick(TObject*)
    {
        ++ticks;
        throw Exception("thrown in a timer");
    }
    void Report(TObject*, const std::exception&) { ++reported; }
};

TEST(Gdi, TimerHandlerExceptionsStayInsideTheCallback)
{
    FormsInit();
    Thrower t;
    Application->OnException = TExceptionEvent(&t, &Thrower::Report);
    {
        TTimer timer(nullptr);
        timer.SetInterval(10);
        timer.OnTimer = TNotifyEvent(&t, &Thrower::Tick);
        DWORD end = GetTickCount() + 300;
        while (t.ticks < 2 && static_cast<int>(end - GetTickCount()) > 0) {
            Application->ProcessMessages();
            Sleep(5);
        }
    }
    EXPECT_GE(t.ticks, 2) << "the timer goes on after a throwing handler";
    EXPECT_EQ(t.reported, t.ticks);
    Application->OnException = TExceptionEvent();
    FormsDone();
}

}  // namespace
