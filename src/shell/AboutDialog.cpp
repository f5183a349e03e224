#include "shell/AboutDialog.h"

#include "shell/AppIcon.h"
#include "shell/DialogUnits.h"
#include "shell/WindowFonts.h"

#include <QLabel>
#include <QPushButton>

AboutDialog::AboutDialog(QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Marbleway 정보"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowIcon(AppIcon());
    setFont(DialogFont());
    const DialogUnits du(font());

    auto *icon = new QLabel(this);
    icon->setPixmap(PaintAppIcon(32));
    icon->setGeometry(du.x(10), du.y(10), 32, 32);

    auto *name = new QLabel(QStringLiteral("Marbleway v5.6"), this);
    name->setObjectName(QStringLiteral("version"));
    name->setGeometry(du.rect(40, 10, 119, 8));

    auto *ok = new QPushButton(QStringLiteral("확인"), this);
    ok->setObjectName(QStringLiteral("1"));
    ok->setGeometry(du.rect(175, 7, 44, 27));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    setFixedSize(du.size(kWidthUnits, kHeightUnits));
}
