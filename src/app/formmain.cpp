#include "formmain.h"

FormMain::FormMain(QWidget *parent) : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("BATTERY KELVANO BIN Measurement"));
}
