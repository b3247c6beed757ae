#include "app/style/warninglabel.h"

#include <QLabel>

QLabel *newDialogErrorLabel(QWidget *dialog)
{
    auto *label = new QLabel(dialog);
    label->setObjectName(QStringLiteral("errorText"));
    label->setWordWrap(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, warningColour());
    label->setPalette(palette);
    label->hide();
    return label;
}
