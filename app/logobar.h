// The logos at the bottom of the race page: our product logo and word mark
// open the operator's README, the registry service logo opens the registry
// service's web page when its address is set.
#pragma once

#include <QUrl>
#include <QWidget>

class QToolButton;

namespace lapvane {

struct ProgramContext;

class LogoBar : public QWidget
{
    Q_OBJECT
public:
    explicit LogoBar(ProgramContext &ctx, QWidget *parent = nullptr);

    // What the logos open: the README in the installed documentation, and the
    // registry service address ("AerolistUrl" of section "Aerolist"). Empty
    // when there is nothing to open.
    QUrl publisherUrl() const;
    QUrl registryUrl() const;

    void img1Click();
    void img2Click();
    void Image4Click();

    // The program's logo drawn at the given size, for the window icon.
    static QPixmap productLogo(int sizePx);

private:
    QToolButton *logoButton(const char *name, const QString &resource, QSize size, const QString &hint);
    void open(const QUrl &url);

    ProgramContext &m_ctx;
};

} // namespace lapvane
