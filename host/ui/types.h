#pragma once

#include <QString>

#include <cstdint>

namespace aph {

// Colours as 0xRRGGBB, plus system colours that the renderer resolves from
// the desktop's palette (top bit set).
using TColor = std::uint32_t;
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clRed = 0xFF0000;
constexpr TColor clBlue = 0x0000FF;
constexpr TColor clNavy = 0x000080;
constexpr TColor clMaroon = 0x800000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSystemColor = 0x80000000;
constexpr TColor clWindow = clSystemColor | 1;
constexpr TColor clWindowText = clSystemColor | 2;
constexpr TColor clBtnFace = clSystemColor | 3;
constexpr TColor clBtnText = clSystemColor | 4;
constexpr TColor clHighlight = clSystemColor | 5;
constexpr TColor clHighlightText = clSystemColor | 6;
constexpr TColor clInfoBk = clSystemColor | 7;
constexpr TColor clInfoText = clSystemColor | 8;
constexpr TColor clGrayText = clSystemColor | 9;
constexpr TColor clDefault = clSystemColor | 0xFF;

inline bool IsSystemColor(TColor c)
{
    return (c & clSystemColor) != 0;
}

struct TFont
{
    QString Name = QStringLiteral("MS Sans Serif");
    int Size = 8; // points
    bool Bold = false;
    bool Italic = false;
    TColor Color = clWindowText;
    bool operator==(const TFont&) const = default;
};

enum class TAlign
{
    alNone,
    alTop,
    alBottom,
    alLeft,
    alRight,
    alClient
};

// Key codes as the screens test them; the renderer maps its own keys here.
enum TKey : int
{
    VK_NONE = 0,
    VK_BACK = 8,
    VK_TAB = 9,
    VK_RETURN = 13,
    VK_ESCAPE = 27,
    VK_SPACE = 32,
    VK_PRIOR = 33, // page up
    VK_NEXT = 34,  // page down
    VK_END = 35,
    VK_HOME = 36,
    VK_LEFT = 37,
    VK_UP = 38,
    VK_RIGHT = 39,
    VK_DOWN = 40,
    VK_INSERT = 45,
    VK_DELETE = 46,
    VK_F1 = 112,
    VK_F2 = 113,
    VK_F4 = 115,
};
using TWord = int;

enum TShiftFlag : int
{
    ssNone = 0,
    ssShift = 1,
    ssCtrl = 2,
    ssAlt = 4
};
using TShiftState = int;

// A menu or button shortcut: key code (an uppercase letter's code for
// letters) plus modifiers.
struct TShortCut
{
    int Key = 0;
    TShiftState Shift = ssNone;
    bool IsNull() const { return Key == 0; }
    bool operator==(const TShortCut&) const = default;
};
inline TShortCut ShortCut(int key, TShiftState shift)
{
    return TShortCut{key, shift};
}
QString ShortCutToText(const TShortCut& shortCut);

enum class TCursor
{
    crDefault,
    crHourGlass,
    crSQLWait
};

// Modal results, with the values the screens compare against.
enum TModalResult : int
{
    mrNone = 0,
    mrOk = 1,
    mrCancel = 2,
    mrAbort = 3,
    mrRetry = 4,
    mrIgnore = 5,
    mrYes = 6,
    mrNo = 7
};

enum class TCloseAction
{
    caNone,
    caHide,
    caFree,
    caMinimize
};

} // namespace aph
