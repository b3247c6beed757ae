#pragma once

#include <QMainWindow>

class FormMain : public QMainWindow
{
    Q_OBJECT
public:
    explicit FormMain(QWidget *parent = nullptr);
};
