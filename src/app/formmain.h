#pragma once

#include "formmainui.h"

#include <QMainWindow>

// The program's main window. For now it only carries its controls.
class FormMain : public QMainWindow
{
    Q_OBJECT
public:
    explicit FormMain(QWidget *parent = nullptr);

    const FormMainUi &ui() const { return m_ui; }

private:
    FormMainUi m_ui;
};
