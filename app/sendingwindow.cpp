// The "Sending..." notice.
#include "app/sendingwindow.h"

#include <QLabel>
#include <QVBoxLayout>

namespace lapvane {

Tfrmsendtelega::Tfrmsendtelega(QWidget *mainWindow)
    : QWidget(mainWindow, Qt::Tool | Qt::WindowStaysOnTopHint), m_main(mainWindow)
{
    setObjectName(QStringLiteral("frmsendtelega"));
    setWindowTitle(QStringLiteral("Sending..."));
    // Never takes the focus from the race page.
    setAttribute(Qt::WA_ShowWithoutActivating);
    auto *text = new QLabel(QStringLiteral("Sending to Telegram..."), this);
    text->setAlignment(Qt::AlignCenter);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(text);
    resize(260, 70);
    hide();
}

void Tfrmsendtelega::showPosts(int posts)
{
    if (posts <= 0) {
        hide();
        return;
    }
    if (isVisible())
        return;
    const QRect main = m_main->frameGeometry();
    move(main.center() - QPoint(width() / 2, height() / 2));
    show();
}

} // namespace lapvane
