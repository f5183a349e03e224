#pragma once

#include <QIcon>
#include <QPixmap>

// The program's icon: a blue marble with a white play mark. The same picture is
// installed as marbleway.svg for the desktop's menu.
QPixmap PaintAppIcon(int size);
QIcon AppIcon();
