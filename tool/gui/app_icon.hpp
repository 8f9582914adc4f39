// The tool's icon: a small LED matrix panel showing a lit "T", drawn here so
// it scales cleanly to every size a desktop asks for.
#pragma once

#include <QIcon>
#include <QImage>

namespace tarvo::gui {

QImage DrawAppIcon(int size);
QIcon AppIcon();

}  // namespace tarvo::gui
