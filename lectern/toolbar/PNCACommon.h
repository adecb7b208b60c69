// PNCACommon: what the caption-bar toolbar computes without a window.
//
// The toolbar (PNCAToolbar) draws buttons into a form's caption bar. Everything it decides
// before it touches a device context lives here as plain functions of plain values, so that
// the rules can be read in one place and tested natively:
//   - the enumerations of buttons and toolbar;
//   - colour arithmetic on 32-bit colours (red in the low byte) and the tab colour states;
//   - the size of one button and the rectangles of all buttons in the caption bar;
//   - where a button's picture and caption go inside its rectangle, and where the form's own
//     caption text goes beside the buttons;
//   - which picture or image list shows a button's state;
//   - how caption-bar hit codes are remapped, which codes press a button, and who handles a
//     click (the button, its action or the toolbar).
// PNCAUtils and PNCAToolbar put these to work with the platform's drawing.
#pragma once

#include "classlib/Types.h"
#include "classlib/Graphics.h"

#include <vector>

// ---- enumerations --------------------------------------------------------------------------

enum TPNCAButtonStyle : unsigned char {
    pbsNone = 0,
    pbsSeparator = 1,
    pbsButton = 2,
    pbsCheckBox = 3,
    pbsRadioButton = 4,
    pbsToolButton = 5,
    pbsDropDownToolButton = 6,
    pbsDivider = 7,
    pbsLabel = 8,
    pbsLinkLabel = 9,
    pbsTab = 10,
    pbsTabGroup = 11,
};

enum TPNCAAutoOffsetBtns : unsigned char { paoAllExceptFirst, paoAll, paoNone };

enum TPNCAShowCaptionPos : unsigned char { pscpNone, pscpHidden, pscpBeforeButtons, pscpAfterButtons };

enum TPNCADefaultDrawingKind : unsigned char { pddkDefault, pddkNonComposite, pddkNone };

// Width of the arrow part of a drop-down tool button, and the picture size assumed for a
// button style that draws a face but has no picture.
constexpr int kPNCADropDownArrowWidth = 16;
constexpr int kPNCAFaceGlyphSize = 16;

// ---- colours -------------------------------------------------------------------------------

// Per channel of ColorToRGB(color): 255 when the channel is at most 128, else 0.
TColor ContrastColor(TColor color);
// Per channel c: c - percent * 2.55 (Darken) or c + percent * 2.55 (Lighten), computed exactly
// as (c * 100 -+ percent * 255) / 100, rounded to the nearest integer with halves to even and
// clamped to 0..255.
TColor DarkenColor(TColor color, int percent);
TColor LightenColor(TColor color, int percent);
// Hue, luminance and saturation on the 0..240 scale: each delta that is not 0 moves its
// channel by delta * 2.4, rounded (halves to even) and clamped to 0..240.
TColor AdjustColorHLS(TColor color, float deltaHue, float deltaLum, float deltaSat);
// A grey of the same luminance.
TColor DesaturateColor(TColor color);

// The 0..240 hue, luminance and saturation model of the platform's colour dialogs.
struct THLS {
    int Hue = 0;
    int Lum = 0;
    int Sat = 0;
    bool operator==(const THLS&) const = default;
};
THLS ColorRGBToHLS(TColor rgb);
TColor ColorHLSToRGB(THLS hls);

// The state a face is painted for.
struct TPNCAFaceState {
    bool Down = false;
    bool Checked = false;
    bool Hot = false;
    bool Enabled = true;
};

// Rewrites each tab colour that is not clNone for the state: desaturated when disabled,
// unchanged when hot and checked but not down, darkened by 7 % when checked or down,
// lightened by 7 % when hot.
void AdjustTabColors(const TPNCAFaceState& state, TColor& tabColor, TColor& tabColorTo,
                     TColor& tabFrameColor);

// ---- button size ---------------------------------------------------------------------------

struct TPNCAButtonSizeInput {
    int ButtonWidth = -1;            // the button's own; -1 = computed
    int ButtonHeight = -1;
    bool HasGraphic = false;         // the normal picture has a graphic
    int GraphicWidth = 0;
    int GraphicHeight = 0;
    int DefaultImageWidth = 0;       // the toolbar's size for buttons without a picture
    int DefaultImageHeight = 0;
    TPNCAButtonStyle Style = pbsNone;
    int Padding = 0;
    bool ShowCaption = false;
    int CaptionWidth = -1;           // measured caption width; -1 or 0 = no caption width
    TAlignment CaptionAlignment = taCenter;
    int Spacing = 3;
};

int PNCAButtonWidth(const TPNCAButtonSizeInput& in);
int PNCAButtonHeight(const TPNCAButtonSizeInput& in);

// The toolbar's size for buttons without a picture: its own ButtonWidth/ButtonHeight when set
// (>= 0), else the size of its image list, else 0.
int PNCADefaultImageSize(int toolbarSize, bool hasImages, int imagesSize);

// ---- bar layout ----------------------------------------------------------------------------

// Frame metrics of the form: frame width FX and height FY, caption height CH, and the thin
// border BX, BY.
struct TPNCAFrame {
    int FX = 0;
    int FY = 0;
    int CH = 0;
    int BX = 1;
    int BY = 1;
};

struct TPNCABarInput {
    TPNCAFrame Frame;
    bool Themed = false;        // composition active or visual styles on
    bool OnGlass = false;       // composition active
    bool Maximized = false;     // themed and (assumed or really) maximized
    bool VistaOrLater = true;
    int OffsetX = 0;            // the toolbar's offsets, the maximized extras already added
    int OffsetY = 0;
    TPNCAAutoOffsetBtns AutoOffset = paoAllExceptFirst;
};

struct TPNCABarButton {
    bool Visible = true;
    bool Down = false;
    TPNCAButtonStyle Style = pbsNone;
    int Padding = 0;
    int Width = 0;     // PNCAButtonWidth
    int Height = 0;    // PNCAButtonHeight
};

struct TPNCABarButtonRects {
    TRect BtnRect;
    TRect BarRect;
};

struct TPNCABarLayout {
    std::vector<TPNCABarButtonRects> Buttons;
    bool SmallButtons = false;
};

// The automatic vertical offset of the buttons below the caption bar's top.
int PNCAAutoOffset(const TPNCABarInput& bar);
// Lays the buttons out from the left of the caption bar, in window coordinates. Invisible
// buttons get empty rectangles. SmallButtons: the first button is cut off at the bar's bottom.
TPNCABarLayout PNCALayoutBar(const TPNCABarInput& bar, const std::vector<TPNCABarButton>& buttons);

// ---- inside a button -----------------------------------------------------------------------

// The side the picture takes: 0 left, 1 right, 2 centre (the Alignment numbering of faces).
int PNCAPictureSide(bool hasCaption, TAlignment captionAlignment, bool rightToLeft);

// Left edge of the picture inside content (the button rectangle less its padding).
int PNCAPictureLeft(const TRect& content, int side, bool hasCaption, int offsetX, int pictureWidth,
                    TPNCAButtonStyle style);

struct TPNCACaptionPlace {
    TRect Rect;
    unsigned Format = 0;   // DrawText flags
};

// DrawText flags the caption places use.
constexpr unsigned kDtLeft = 0x0000;
constexpr unsigned kDtCenter = 0x0001;
constexpr unsigned kDtRight = 0x0002;
constexpr unsigned kDtVCenter = 0x0004;
constexpr unsigned kDtSingleLine = 0x0020;
constexpr unsigned kDtNoPrefix = 0x0800;
constexpr unsigned kDtCalcRect = 0x0400;
constexpr unsigned kDtEndEllipsis = 0x8000;
constexpr unsigned kDtRtlReading = 0x20000;

struct TPNCACaptionInput {
    TRect BtnRect;
    TRect BarRect;
    TPNCAButtonStyle Style = pbsNone;
    int Side = 2;              // PNCAPictureSide
    int Padding = 0;
    int OffsetX = 0;
    int Spacing = 3;
    int PictureWidth = 0;      // graphic width, else image-list width, else 0
    bool Unthemed = false;     // off glass and without visual styles
    bool RightToLeft = false;
};

// The rectangle and format of a button's caption.
TPNCACaptionPlace PNCACaptionPlace(const TPNCACaptionInput& in);

// Where the form's caption text goes when the toolbar draws it beside its buttons; empty when
// there is no room or no bar. windowRect and buttons (the union of the buttons' bar slots,
// empty when none) are in the same coordinates.
struct TPNCAFormCaptionInput {
    TRect WindowRect;
    TRect Buttons;
    bool HasButtons = false;
    TPNCAShowCaptionPos Position = pscpNone;
    int FX = 0;
    int SmallIconWidth = 16;    // SM_CXSMICON
    int SystemButtonWidth = 0;  // SM_CXSIZE
    bool Dialog = false;        // no system icon
};
TRect PNCAFormCaptionRect(const TPNCAFormCaptionInput& in);

// ---- state pictures ------------------------------------------------------------------------

// Picture slots of a button, in the order of its indexed picture setter.
enum TPNCAPictureSlot : int {
    ppPicture = 0,
    ppPictureHovered = 1,
    ppPictureDown = 2,
    ppPictureSmall = 3,
    ppPictureSmallHovered = 4,
    ppPictureSmallDown = 5,
    ppPictureDisabled = 6,
    ppPictureSmallDisabled = 7,
};

// Image-list slots of the toolbar, in the order of its indexed setter.
enum TPNCAImagesSlot : int {
    pilImages = 0,
    pilHoverImages = 1,
    pilDownImages = 2,
    pilSmallImages = 3,
    pilSmallHoverImages = 4,
    pilSmallDownImages = 5,
};

struct TPNCAPictureState {
    bool Small = false;
    bool Enabled = true;
    bool Down = false;
    bool Hot = false;
    bool Checked = false;
};

// The picture slot to draw; hasGraphic(slot) tells which slots hold a graphic. -1: none.
// A disabled button without a disabled picture shows its normal picture.
int PNCAChooseGraphic(const TPNCAPictureState& state, const bool hasGraphic[8]);
// The image-list slot to draw from; assigned(slot) tells which lists are set. The result may
// name an unassigned Images list (then nothing is drawn).
int PNCAChooseImages(const TPNCAPictureState& state, const bool assigned[6]);

// ---- mouse ---------------------------------------------------------------------------------

// Hit codes of the caption bar the toolbar looks at.
constexpr int kHtCaption = 2;
constexpr int kHtSysMenu = 3;
constexpr int kHtMinButton = 8;
constexpr int kHtMaxButton = 9;
constexpr int kHtTop = 12;
constexpr int kHtTopLeft = 13;
constexpr int kHtClose = 20;

// True for the hit codes under which the toolbar looks for a button at the mouse.
bool PNCAHitSeeksButton(int hitCode);
// The hit code reported after the toolbar looked: over a hot button the top edges count as
// caption; elsewhere on glass the system boxes count as caption (the toolbar paints them).
int PNCARemapHitCode(int hitCode, bool hasHotButton, bool onGlass);
// True for the hit codes under which a left press reaches a button.
bool PNCAIsPressingHitCode(int hitCode, bool allowSystemMenu);

// Who handles a click of a released button; the first that applies.
enum class TPNCAClickTarget { ButtonOnClick, ActionLink, ToolbarOnClick, Nobody };

struct TPNCAClickInput {
    bool ButtonOnClickAssigned = false;
    bool OnClickIsActionExecute = false;   // the button's OnClick equals its action's OnExecute
    bool HasActionLink = false;
    bool Designing = false;
    bool ToolbarOnClickAssigned = false;
};
TPNCAClickTarget PNCAClickTarget(const TPNCAClickInput& in);
