// The logos at the bottom of the race page and what a click on them opens.
#include "app/logobar.h"

#include "app/programcontext.h"
#include "app/version.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QPainter>
#include <QSvgRenderer>
#include <QToolButton>

namespace lapvane {

namespace {

QPixmap renderSvg(const QString &resource, QSize size, qreal ratio)
{
    QSvgRenderer svg(resource);
    QPixmap pixmap(size * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    svg.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return pixmap;
}

} // namespace

LogoBar::LogoBar(ProgramContext &ctx, QWidget *parent) : QWidget(parent), m_ctx(ctx)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    const QString readme = QStringLiteral("Lapvane Admin: open the operator's guide");
    connect(logoButton("img1", QStringLiteral(":/logos/lapvaneadmin.svg"), QSize(32, 32), readme),
            &QToolButton::clicked, this, &LogoBar::img1Click);
    connect(logoButton("img2", QStringLiteral(":/logos/wordmark.svg"), QSize(160, 32), readme),
            &QToolButton::clicked, this, &LogoBar::img2Click);
    connect(logoButton("Image4", QStringLiteral(":/logos/registry.svg"), QSize(96, 32),
                       QStringLiteral("Registry service: opens its web page (address on the Settings page)")),
            &QToolButton::clicked, this, &LogoBar::Image4Click);
}

QToolButton *LogoBar::logoButton(const char *name, const QString &resource, QSize size, const QString &hint)
{
    auto *button = new QToolButton(this);
    button->setObjectName(QLatin1String(name));
    button->setAutoRaise(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setToolTip(hint);
    button->setIconSize(size);
    button->setIcon(QIcon(renderSvg(resource, size, devicePixelRatioF())));
    layout()->addWidget(button);
    return button;
}

QPixmap LogoBar::productLogo(int sizePx)
{
    return renderSvg(QStringLiteral(":/logos/lapvaneadmin.svg"), QSize(sizePx, sizePx), 1.0);
}

QUrl LogoBar::publisherUrl() const
{
    const QString path = readmePath(QCoreApplication::applicationDirPath());
    return path.isEmpty() ? QUrl() : QUrl::fromLocalFile(path);
}

QUrl LogoBar::registryUrl() const
{
    // The registry address is a setting of section "Aerolist"; found by its
    // key, so the window needs no change when the setting's control is added.
    QString address;
    bool defined = false;
    for (const SettingDef &d : Settings::definitions()) {
        if (d.section.compare(QLatin1String("Aerolist"), Qt::CaseInsensitive) == 0
            && d.key.compare(QLatin1String("AerolistUrl"), Qt::CaseInsensitive) == 0) {
            address = m_ctx.settings.text(d.control);
            defined = true;
            break;
        }
    }
    if (!defined && m_ctx.ini)
        address = m_ctx.ini->readString(QStringLiteral("Aerolist"), QStringLiteral("AerolistUrl"), QString());
    address = address.trimmed();
    if (address.isEmpty())
        return {};
    return QUrl::fromUserInput(address);
}

void LogoBar::img1Click()
{
    const QUrl readme = publisherUrl();
    if (readme.isEmpty())
        m_ctx.log.savelog(QStringLiteral("The operator's guide (README.md) was not found beside the program."));
    open(readme);
}

void LogoBar::img2Click()
{
    img1Click();
}

void LogoBar::Image4Click()
{
    open(registryUrl());
}

void LogoBar::open(const QUrl &url)
{
    if (url.isValid() && !url.isEmpty())
        QDesktopServices::openUrl(url);
}

} // namespace lapvane
