#include "formmain.h"

#include "programicon.h"

FormMain::FormMain(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("FormMain"));
    m_ui.setupUi(this);
    setWindowTitle(QStringLiteral("BATTERY KELVANO BIN Measurement"));
    setWindowIcon(programIcon());
}
