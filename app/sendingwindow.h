// The small stay-on-top notice "Sending to Telegram..." (Tfrmsendtelega),
// shown centred on the main window while race results are on their way.
#pragma once

#include <QWidget>

namespace lapvane {

class Tfrmsendtelega : public QWidget
{
    Q_OBJECT
public:
    explicit Tfrmsendtelega(QWidget *mainWindow);

    // Shown while posts > 0.
    void showPosts(int posts);

private:
    QWidget *m_main;
};

} // namespace lapvane
