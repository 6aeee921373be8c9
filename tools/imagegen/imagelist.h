#pragma once
// The images of Olvane's resource bundle. Every picture the program and its
// style sheets name is one ImageSpec; drawing, file names and the .qrc all
// follow from this one list, so adding an image is adding one line.

#include <vector>

namespace zavmo::imagegen {

// Simple line glyphs, drawn in a 24 x 24 design box scaled to fit.
enum class Glyph {
    None,
    Close,
    Minimize,
    Gear,
    ChevronLeft,
    ChevronRight,
    ChevronUp,
    ChevronDown,
    TriangleUp,
    TriangleDown,
    Check,
    RadioOff,
    RadioOn,
    BoxOff,
    Eye,
    EyeOff,
    User,
    Lock,
    Phone,
    Scan,
    QrCode,
    Monitor,
    Folder,
    Key,
    Download,
    Headset,
    Question,
    Wrench,
    Play,
    Grid,
    Power,
    Home,
    Dots,
};

// Extra decoration drawn over the background.
enum class Decor {
    None,
    Underline,  // an accent bar along the bottom edge (selected tabs)
    MockWindow, // a schematic program window (preview and tutorial pictures)
    Strip4,     // four equal frames side by side: normal, hover, pressed, disabled
    Corner,     // glyph in a folded corner at the top right (login mode switches)
};

struct ImageSpec
{
    const char* name; // path below :/Resources/, e.g. "Login/qq.png"; ".ico" writes an icon
    int width;
    int height;
    const char* background = nullptr;  // "#rrggbb" or "#aarrggbb"; null is transparent
    const char* background2 = nullptr; // bottom colour of a vertical gradient
    int radius = 0;                    // corner radius; -1 makes the short side fully round
    const char* border = nullptr;      // 1-pixel outline colour
    Glyph glyph = Glyph::None;
    const char* foreground = "#ffffff"; // glyph and text colour
    const char* label = nullptr;        // UTF-8 text; "\n" breaks lines
    int pixelSize = 0;                  // text size; 0 picks one from the height
    bool bold = false;
    Decor decor = Decor::None;
    const char* accent = "#ff6f2c"; // underline, mock window highlights
    int footer = 0;                 // bottom rows left transparent (the carousel's position markers)
    int visibleWidth = 0;           // columns from the left that the widget shows; 0 is all
};

// Every image of the bundle, in no particular order; names are unique.
const std::vector<ImageSpec>& allImages();

} // namespace zavmo::imagegen
