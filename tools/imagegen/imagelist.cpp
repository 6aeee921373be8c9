#include "imagelist.h"

namespace zavmo::imagegen {

namespace {

constexpr const char* kOrange = "#ff6f2c";
constexpr const char* kOrangeDark = "#ff4400";
constexpr const char* kOrangePale = "#ffe2d5";
constexpr const char* kPaper = "#f5f5fb";
constexpr const char* kText = "#333333";
constexpr const char* kGrey = "#999999";
constexpr const char* kLightGrey = "#bbbbbb";

ImageSpec glyph(const char* name, int w, int h, Glyph g, const char* fg, const char* bg = nullptr, int radius = 0)
{
    ImageSpec s{name, w, h};
    s.glyph = g;
    s.foreground = fg;
    s.background = bg;
    s.radius = radius;
    return s;
}

ImageSpec button(const char* name, int w, int h, const char* bg, const char* label, const char* fg = "#ffffff",
                 int radius = 0, Glyph g = Glyph::None)
{
    ImageSpec s{name, w, h};
    s.background = bg;
    s.label = label;
    s.foreground = fg;
    s.radius = radius;
    s.glyph = g;
    return s;
}

ImageSpec panel(const char* name, int w, int h, const char* top, const char* bottom, const char* label = nullptr,
                Decor decor = Decor::None, const char* accent = kOrange)
{
    ImageSpec s{name, w, h};
    s.background = top;
    s.background2 = bottom;
    s.label = label;
    s.decor = decor;
    s.accent = accent;
    s.bold = true;
    s.pixelSize = h >= 200 ? 22 : 0;
    return s;
}

// A 400 x 264 preview picture of the carousel. Its bottom 28 rows stay
// transparent: the carousel's position markers (y 246 to 253) sit there on
// the page's own colour, clear of the caption, and the orange highlight
// shows on any tool's colours.
ImageSpec preview(const char* name, const char* const (&colours)[2], const char* label)
{
    ImageSpec s = panel(name, 400, 264, colours[0], colours[1], label, Decor::MockWindow);
    s.footer = 28;
    return s;
}

ImageSpec inked(ImageSpec s, const char* fg)
{
    s.foreground = fg;
    return s;
}

ImageSpec with(ImageSpec s, Decor decor)
{
    s.decor = decor;
    return s;
}

ImageSpec bordered(ImageSpec s, const char* border)
{
    s.border = border;
    return s;
}

ImageSpec sized(ImageSpec s, int pixelSize, bool bold = false)
{
    s.pixelSize = pixelSize;
    s.bold = bold;
    return s;
}

ImageSpec footed(ImageSpec s, int footer)
{
    s.footer = footer;
    return s;
}

ImageSpec shownLeft(ImageSpec s, int visibleWidth)
{
    s.visibleWidth = visibleWidth;
    return s;
}

// A 130 x 150 toolbox tile: glyph above its caption.
void toolboxTile(std::vector<ImageSpec>& list, const char* name, const char* hoverName, Glyph g, const char* label)
{
    list.push_back(sized(bordered(button(name, 130, 150, "#ffffff", label, "#555555", 6, g), "#e0e0e6"), 14));
    list.push_back(sized(bordered(button(hoverName, 130, 150, "#fff3ee", label, kOrange, 6, g), kOrange), 14));
}

std::vector<ImageSpec> buildList()
{
    std::vector<ImageSpec> l;

    // Program icon, tray and logos.
    l.push_back(sized(button("Install.ico", 48, 48, kOrange, "Z", "#ffffff", 10), 32, true));
    l.push_back(sized(button("tray_icon.png", 32, 32, kOrange, "Z", "#ffffff", 6), 22, true));
    l.push_back(glyph("tray_quit.png", 16, 16, Glyph::Power, kText));
    l.push_back(sized(button("logo.png", 20, 20, kOrange, "Z", "#ffffff", 4), 14, true));
    l.push_back(sized(button("zavmo_logo.png", 60, 60, "#ffffff", "Z", kOrange, 12), 38, true));
    l.push_back(sized(button("OBS_logo.png", 60, 60, "#302e31", "OBS", "#ffffff", -1), 18, true));

    // Title strips and backgrounds.
    l.push_back(panel("titlebar_back.png", 920, 120, "#34344a", "#222232"));
    l.push_back(panel("choose_titleback.png", 410, 36, "#ff7d3f", "#ff6326"));
    l.push_back(panel("label_titleback.png", 410, 270, "#ff8a4c", "#ff5a1c"));

    // Title bar buttons (on the dark strip).
    l.push_back(glyph("button_close.png", 17, 17, Glyph::Close, "#ffffff"));
    l.push_back(glyph("button_close_hover.png", 17, 17, Glyph::Close, "#ffffff", "#55ffffff", -1));
    l.push_back(glyph("button_min.png", 17, 17, Glyph::Minimize, "#ffffff"));
    l.push_back(glyph("button_min_hover.png", 17, 17, Glyph::Minimize, "#ffffff", "#55ffffff", -1));
    l.push_back(glyph("button_setting_hover.png", 17, 17, Glyph::Gear, "#ffffff"));
    l.push_back(sized(button("button_live.png", 120, 84, nullptr, "直播", "#b4b4c8", 0, Glyph::Play), 14));
    l.push_back(sized(button("button_live_hover.png", 120, 84, "#1effffff", "直播", "#ffffff", 0, Glyph::Play), 14));
    l.push_back(
        with(sized(button("button_live_selected.png", 120, 84, "#30ffffff", "直播", "#ffffff", 0, Glyph::Play), 14),
             Decor::Underline));
    l.push_back(sized(button("button_toolbox.png", 120, 84, nullptr, "工具箱", "#b4b4c8", 0, Glyph::Grid), 14));
    l.push_back(
        sized(button("button_toolbox_hover.png", 120, 84, "#1effffff", "工具箱", "#ffffff", 0, Glyph::Grid), 14));
    l.push_back(with(
        sized(button("button_toolbox_selected.png", 120, 84, "#30ffffff", "工具箱", "#ffffff", 0, Glyph::Grid), 14),
        Decor::Underline));
    l.push_back(glyph("icon_login_user.png", 64, 64, Glyph::User, "#8c8ca0", "#dbdbe1", -1));

    // Title menu.
    l.push_back(sized(button("menu_roommanage.png", 124, 34, kPaper, "房间管理", kText, 0, Glyph::Home), 12));
    l.push_back(
        sized(button("menu_roommanage_hover.png", 124, 34, kOrangePale, "房间管理", kOrange, 0, Glyph::Home), 12));
    l.push_back(sized(button("menu_logout.png", 124, 35, kPaper, "退出登录", kText, 0, Glyph::Power), 12));
    l.push_back(sized(button("menu_logout_hover.png", 124, 35, kOrangePale, "退出登录", kOrange, 0, Glyph::Power), 12));

    // Live page: navigation tabs and banners.
    l.push_back(sized(button("button_zavmo.png", 170, 52, "#dbdbe1", "Zavmo直播伴侣", kText), 14));
    l.push_back(sized(button("button_zavmo_hover.png", 170, 52, "#e8e8ee", "Zavmo直播伴侣", kOrange), 14));
    l.push_back(sized(button("button_zavmo_checked.png", 170, 52, kPaper, "Zavmo直播伴侣", kOrange), 14, true));
    l.push_back(sized(button("button_obs.png", 170, 52, "#dbdbe1", "OBS直播", kText), 14));
    l.push_back(sized(button("button_obs_hover.png", 170, 52, "#e8e8ee", "OBS直播", kOrange), 14));
    l.push_back(sized(button("button_obs_checked.png", 170, 52, kPaper, "OBS直播", kOrange), 14, true));
    l.push_back(sized(panel("guild.png", 166, 116, "#ff8a4c", "#ff5a1c", "加入公会\n主播扶持计划"), 16, true));
    l.push_back(sized(panel("OBSTransmit.png", 166, 116, "#4a86e0", "#2a5bb0", "OBS转推教程\n伴侣一键转推"), 16, true));

    // Live page: tool cards.
    l.push_back(sized(button("button_Service_little.png", 70, 14, nullptr, "联系客服", kGrey), 12));
    l.push_back(sized(button("button_Service_little_hover.png", 70, 14, nullptr, "联系客服", kOrange), 12));
    l.push_back(sized(button("button_useTutorial.png", 70, 14, nullptr, "使用教程", kGrey), 12));
    l.push_back(sized(button("button_useTutorial_hover.png", 70, 14, nullptr, "使用教程", kOrange), 12));
    // The OBS card's link "访问OBS网站手动安装" starts 4 pixels above the
    // bottom edge of the card's buttons: those rows stay transparent.
    l.push_back(footed(
        sized(button("button_install.png", 234, 64, kOrange, "立即安装", "#ffffff", 32, Glyph::Download), 20), 4));
    l.push_back(footed(
        sized(button("button_install_hover.png", 234, 64, kOrangeDark, "立即安装", "#ffffff", 32, Glyph::Download), 20),
        4));
    l.push_back(footed(sized(button("button_open.png", 234, 64, kOrange, "启动", "#ffffff", 32, Glyph::Play), 20), 4));
    l.push_back(footed(
        sized(button("button_open_hover.png", 234, 64, kOrangeDark, "启动", "#ffffff", 32, Glyph::Play), 20), 4));
    l.push_back(
        footed(sized(button("button_running.png", 234, 64, "#cccccc", "运行中", "#ffffff", 32, Glyph::Dots), 20), 4));
    // Progress bars stretch these whole: the proportions of the repair
    // dialog's 350 x 8 bars give them round ends. The track is dark enough
    // for the cards' white progress text.
    l.push_back(button("processbar.png", 700, 16, "#8c8ca0", nullptr, "#ffffff", -1));
    l.push_back(button("processbar_chunk.png", 700, 16, kOrange, nullptr, "#ffffff", -1));
    l.push_back(glyph("radio.png", 14, 14, Glyph::RadioOff, kLightGrey));
    l.push_back(glyph("radio_selected.png", 14, 14, Glyph::RadioOn, kOrange));
    l.push_back(glyph("checkbox_unchecked.png", 14, 14, Glyph::BoxOff, kLightGrey));
    l.push_back(glyph("checkbox_checked.png", 14, 14, Glyph::Check, "#ffffff", kOrange, 2));
    l.push_back(glyph("checkbox_checked_disabled.png", 14, 14, Glyph::Check, "#ffffff", "#cccccc", 2));

    // Picture carousel: markers, arrows and the tools' preview pictures.
    l.push_back(button("switchpoint.png", 8, 8, "#cccccc", nullptr, "#ffffff", -1));
    l.push_back(button("switchpoint_selected.png", 18, 8, kOrange, nullptr, "#ffffff", -1));
    l.push_back(glyph("button_left.png", 16, 62, Glyph::ChevronLeft, "#ffffff", "#66000000", 3));
    l.push_back(glyph("button_left_pressed.png", 16, 62, Glyph::ChevronLeft, "#ffffff", "#aa000000", 3));
    l.push_back(glyph("button_right.png", 16, 62, Glyph::ChevronRight, "#ffffff", "#66000000", 3));
    l.push_back(glyph("button_right_pressed.png", 16, 62, Glyph::ChevronRight, "#ffffff", "#aa000000", 3));
    const char* zv[2] = {"#ffa06b", "#ff6a2c"};
    const char* show[2] = {"#ff8fb1", "#e8457a"};
    const char* obs[2] = {"#5b5f6e", "#2f323c"};
    const char* studio[2] = {"#6a8fd8", "#3b5ca8"};
    l.push_back(preview("zavmo_classic_1.png", zv, "Zavmo直播伴侣\n一键开播"));
    l.push_back(preview("zavmo_classic_2.png", zv, "Zavmo直播伴侣\n多场景切换"));
    l.push_back(preview("zavmo_classic_3.png", zv, "Zavmo直播伴侣\n弹幕互动"));
    l.push_back(preview("zavmo_show_1.png", show, "Zavmo秀场直播伴侣\n美颜开播"));
    l.push_back(preview("zavmo_show_2.png", show, "Zavmo秀场直播伴侣\n连麦互动"));
    l.push_back(preview("OBS_classic_1.png", obs, "OBS经典版\n场景与来源"));
    l.push_back(preview("OBS_classic_2.png", obs, "OBS经典版\n推流设置"));
    l.push_back(preview("OBS_studio_1.png", studio, "OBS工作室版\n场景与来源"));
    l.push_back(preview("OBS_studio_2.png", studio, "OBS工作室版\n推流设置"));

    // Toolbox page.
    toolboxTile(l, "button_openFolder.png", "button_openFolder_hover.png", Glyph::Folder, "录制文件夹");
    toolboxTile(l, "button_getPushcode.png", "button_getPushcode_hover.png", Glyph::Key, "获取推流码");
    toolboxTile(l, "button_installOBS.png", "button_installOBS_hover.png", Glyph::Download, "安装OBS");
    toolboxTile(l, "button_installZavmoLive.png", "button_installZavmoLive_hover.png", Glyph::Download, "安装直播伴侣");
    toolboxTile(l, "button_Service.png", "button_Service_hover.png", Glyph::Headset, "联系客服");
    toolboxTile(l, "button_commonProblem.png", "button_commonProblem_hover.png", Glyph::Question, "常见问题");
    toolboxTile(l, "button_oneKeyRepair.png", "button_oneKeyRepair_hover.png", Glyph::Wrench, "一键修复");

    // Push-address dialogs.
    l.push_back(glyph("get_false_pic.png", 120, 120, Glyph::Close, kOrange, kOrangePale, -1));
    l.push_back(
        inked(panel("step_1.png", 576, 300, "#f0f0f6", "#dcdce6", "第一步：登录Zavmo官网", Decor::MockWindow), kText));
    l.push_back(
        inked(panel("step_2.png", 620, 394, "#f0f0f6", "#dcdce6", "第二步：打开直播设置", Decor::MockWindow), kText));
    l.push_back(inked(
        panel("step_3.png", 620, 386, "#f0f0f6", "#dcdce6", "第三步：复制推流地址和直播码", Decor::MockWindow), kText));
    l.push_back(inked(
        panel("step_4.png", 620, 316, "#f0f0f6", "#dcdce6", "第四步：粘贴到OBS的串流设置", Decor::MockWindow), kText));

    // Web dialogs, combo box and scroll bars.
    l.push_back(glyph("dialog_close_normal.png", 17, 17, Glyph::Close, kGrey));
    l.push_back(with(glyph("Login/btn_ThirdParty_close.png", 96, 24, Glyph::Close, kGrey), Decor::Strip4));
    l.push_back(glyph("down_button.png", 12, 12, Glyph::TriangleDown, kGrey));
    l.push_back(glyph("up_button.png", 12, 12, Glyph::TriangleUp, kGrey));
    l.push_back(glyph("scrollbar.v.up.png", 15, 15, Glyph::ChevronUp, kGrey, "#e6e6e6"));
    l.push_back(glyph("scrollbar.v.up.hover.png", 15, 15, Glyph::ChevronUp, "#666666", "#dddddd"));
    l.push_back(glyph("scrollbar.v.up.pressed.png", 15, 15, Glyph::ChevronUp, kText, "#cccccc"));
    l.push_back(glyph("scrollbar.v.down.png", 15, 15, Glyph::ChevronDown, kGrey, "#e6e6e6"));
    l.push_back(glyph("scrollbar.v.down.hover.png", 15, 15, Glyph::ChevronDown, "#666666", "#dddddd"));
    l.push_back(glyph("scrollbar.v.down.pressed.png", 15, 15, Glyph::ChevronDown, kText, "#cccccc"));

    // Login dialog.
    l.push_back(glyph("Login/setdialog_close.png", 12, 12, Glyph::Close, "#ffffff"));
    l.push_back(glyph("Login/setdialog_close_press.png", 12, 12, Glyph::Close, kOrangePale));
    l.push_back(with(glyph("Login/QRCode_login.png", 42, 42, Glyph::QrCode, kOrange), Decor::Corner));
    l.push_back(with(glyph("Login/normal_login.png", 42, 42, Glyph::Monitor, kOrange), Decor::Corner));
    l.push_back(
        sized(bordered(button("Login/tip1.png", 136, 25, "#fff3ee", "扫码登录更安全", kOrange, 4), kOrange), 12));
    l.push_back(
        sized(bordered(button("Login/tip2.png", 136, 25, "#fff3ee", "密码登录在这里", kOrange, 4), kOrange), 12));
    // Its label reaches past the dialog's right edge: only 170 columns show.
    l.push_back(shownLeft(glyph("Login/phone.png", 227, 221, Glyph::Phone, "#c8c8d2"), 170));
    l.push_back(glyph("Login/scan.png", 30, 30, Glyph::Scan, kOrange));
    l.push_back(sized(button("Login/login.png", 314, 54, kOrange, "登录", "#ffffff", 4), 16, true));
    l.push_back(sized(button("Login/login_hover.png", 314, 54, kOrangeDark, "登录", "#ffffff", 4), 16, true));
    l.push_back(sized(button("Login/login_pressed.png", 314, 54, "#e03c00", "登录", "#ffffff", 4), 16, true));
    l.push_back(sized(button("Login/qq.png", 52, 52, "#12b7f5", "QQ", "#ffffff", -1), 16, true));
    l.push_back(sized(button("Login/qq_hover.png", 52, 52, "#0c9fd8", "QQ", "#ffffff", -1), 16, true));
    l.push_back(sized(button("Login/wechat.png", 52, 52, "#09bb07", "微信", "#ffffff", -1), 15, true));
    l.push_back(sized(button("Login/wechat_hover.png", 52, 52, "#07a005", "微信", "#ffffff", -1), 15, true));
    l.push_back(sized(button("Login/microblog.png", 52, 52, "#e6162d", "微博", "#ffffff", -1), 15, true));
    l.push_back(sized(button("Login/microblog_hover.png", 52, 52, "#c81226", "微博", "#ffffff", -1), 15, true));
    l.push_back(glyph("Login/login-head.png", 15, 16, Glyph::User, kLightGrey));
    l.push_back(glyph("Login/login_psd.png", 14, 17, Glyph::Lock, kLightGrey));
    l.push_back(glyph("Login/hidePsd.png", 16, 17, Glyph::EyeOff, kLightGrey));
    l.push_back(glyph("Login/showPsd.png", 16, 17, Glyph::Eye, kOrange));

    return l;
}

} // namespace

const std::vector<ImageSpec>& allImages()
{
    static const std::vector<ImageSpec> list = buildList();
    return list;
}

} // namespace zavmo::imagegen
