#pragma once
// The tool bar's pictures and the program icon, drawn as SVG and kept in the
// resources under ":/icons/". Each icon is loaded once and then shared.

#include <QIcon>

namespace dorvanta {

// Makes the program's compiled-in resources (icons, logo) available; idempotent.
void RegisterResources();

enum class IconId {
    New,
    Open,
    Save,
    NewKey,
    DelKey,
    ShowData,
    CompressView,
    Exit,
    NewData,
    DeleteData,
    Copy
};

// The tool button picture for id, from ":/icons/<name>.svg".
QIcon ToolIcon(IconId id);
// The program's own icon (window, task bar), from ":/icons/app.svg".
QIcon AppIcon();

}  // namespace dorvanta
