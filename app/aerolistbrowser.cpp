// The registry browser window: shows what the registry browser reports.
#include "app/aerolistbrowser.h"

#include "app/programcontext.h"
#include "app/widgets.h"
#include "core/operatorprompt.h"
#include "events/eventsviews.h"
#include "events/pilotregistry.h"
#include "online/registrybrowser.h"
#include "online/registryclient.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <QVBoxLayout>

namespace lapvane {

TfrmAerolist::TfrmAerolist(ProgramContext &ctx, PilotRegistry &pilots, EventsViews &events, OperatorPrompt &prompt,
                           QWidget *parent)
    : QWidget(parent, Qt::Window), m_events(events), m_prompt(prompt),
      m_client(std::make_unique<RegistryClient>(ctx.settings)),
      m_browser(std::make_unique<RegistryBrowser>(*m_client, pilots, ctx.folder))
{
    setObjectName(QStringLiteral("frmAerolist"));
    setWindowTitle(QStringLiteral("Aerolist"));
    // An open browser does not keep the program running once the main window closes.
    setAttribute(Qt::WA_QuitOnClose, false);
    resize(720, 520);

    auto *top = new QHBoxLayout;
    QPushButton *getData = namedButton(QStringLiteral("btgetdata"), QStringLiteral("Get data"), this);
    QPushButton *prev = namedButton(QStringLiteral("btprev"), QStringLiteral("Prev"), this);
    QPushButton *next = namedButton(QStringLiteral("btnext"), QStringLiteral("Next"), this);
    m_position = namedLabel(QStringLiteral("lbposition"), QString(), this);
    m_count = namedLabel(QStringLiteral("lbpilotcount"), QString(), this);
    m_status = namedLabel(QStringLiteral("lbstatus"), QString(), this);
    top->addWidget(getData);
    top->addWidget(prev);
    top->addWidget(m_position);
    top->addWidget(next);
    top->addWidget(new QLabel(QStringLiteral("Pilots:"), this));
    top->addWidget(m_count);
    top->addStretch();
    top->addWidget(m_status);

    m_fields = new QTableWidget(0, 2, this);
    m_fields->setObjectName(QStringLiteral("vleventpilot"));
    m_fields->setHorizontalHeaderLabels({QStringLiteral("Key"), QStringLiteral("Value")});
    m_fields->horizontalHeader()->setStretchLastSection(true);
    m_fields->verticalHeader()->hide();

    m_photo = namedLabel(QStringLiteral("imgphoto"), QString(), this);
    m_photo->setFixedSize(200, 200);
    m_photo->setAlignment(Qt::AlignCenter);
    m_photo->setFrameShape(QFrame::StyledPanel);
    m_photoFile = new QLineEdit(this);
    m_photoFile->setObjectName(QStringLiteral("edphotofile"));
    QPushButton *getImage = namedButton(QStringLiteral("btgetimage"), QStringLiteral("Get picture"), this);
    auto *photoColumn = new QVBoxLayout;
    photoColumn->addWidget(m_photo);
    photoColumn->addWidget(m_photoFile);
    photoColumn->addWidget(getImage);
    photoColumn->addStretch();

    auto *middle = new QHBoxLayout;
    middle->addWidget(m_fields, 1);
    middle->addLayout(photoColumn);

    auto *commands = new QHBoxLayout;
    QPushButton *link = namedButton(QStringLiteral("Button1"), QStringLiteral("Get visual link"), this);
    QPushButton *locate = namedButton(QStringLiteral("btlocate"), QStringLiteral("Locate pilot in DB"), this);
    QPushButton *update = namedButton(QStringLiteral("btupdate"), QStringLiteral("Update selected"), this);
    QPushButton *add = namedButton(QStringLiteral("btnewpilot"), QStringLiteral("Add as NEW Pilot"), this);
    for (QPushButton *b : {link, locate, update, add})
        commands->addWidget(b);
    commands->addStretch();

    m_log = new QPlainTextEdit(this);
    m_log->setObjectName(QStringLiteral("memolog"));
    m_log->setReadOnly(true);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(middle, 2);
    layout->addLayout(commands);
    layout->addWidget(m_log, 1);

    connect(getData, &QPushButton::clicked, this, &TfrmAerolist::btgetdataClick);
    connect(prev, &QPushButton::clicked, m_browser.get(), &RegistryBrowser::btprevClick);
    connect(next, &QPushButton::clicked, m_browser.get(), &RegistryBrowser::btnextClick);
    connect(getImage, &QPushButton::clicked, m_browser.get(), &RegistryBrowser::btgetimageClick);
    connect(link, &QPushButton::clicked, this, &TfrmAerolist::Button1Click);
    connect(locate, &QPushButton::clicked, this, &TfrmAerolist::btlocateClick);
    connect(update, &QPushButton::clicked, m_browser.get(), &RegistryBrowser::btupdateClick);
    connect(add, &QPushButton::clicked, m_browser.get(), &RegistryBrowser::btnewpilotClick);

    // The operator's corrections in the list and the photo file field are taken by the commands.
    connect(m_fields, &QTableWidget::itemChanged, this, [this](QTableWidgetItem *item) {
        if (!m_filling && item->column() == 1)
            m_browser->setShownValue(item->row(), item->text());
    });
    connect(m_photoFile, &QLineEdit::textEdited, m_browser.get(), &RegistryBrowser::setPhotoFile);

    connect(m_browser.get(), &RegistryBrowser::logCleared, m_log, &QPlainTextEdit::clear);
    connect(m_browser.get(), &RegistryBrowser::lineAdded, m_log, &QPlainTextEdit::appendPlainText);
    connect(m_browser.get(), &RegistryBrowser::pilotShown, this, &TfrmAerolist::showPilot);
    connect(m_browser.get(), &RegistryBrowser::photoFileChanged, m_photoFile, &QLineEdit::setText);
    connect(m_browser.get(), &RegistryBrowser::photoChanged, this, [this](const QImage &photo) {
        m_photo->setPixmap(photo.isNull() ? QPixmap()
                                          : QPixmap::fromImage(photo.scaled(m_photo->size(), Qt::KeepAspectRatio,
                                                                            Qt::SmoothTransformation)));
    });
    connect(m_browser.get(), &RegistryBrowser::failed, this, [this](const QString &message) { m_prompt.notice(message); });
    connect(m_browser.get(), &RegistryBrowser::localPilotChanged, this, &TfrmAerolist::localPilotChanged);
    connect(m_client.get(), &RegistryClient::pendingChanged, this, &TfrmAerolist::showBusy);
}

TfrmAerolist::~TfrmAerolist() = default;

QString TfrmAerolist::currentUnic() const
{
    const int row = m_events.currentEventRow();
    return row < 0 ? QString() : m_events.eventsModel()->value(row, QStringLiteral("aerolist")).toString();
}

void TfrmAerolist::btgetdataClick()
{
    m_browser->btgetdataClick(currentUnic());
}

void TfrmAerolist::Button1Click()
{
    m_browser->Button1Click(currentUnic());
}

void TfrmAerolist::btlocateClick()
{
    emit locateRequested(m_browser->btlocateClick());
}

void TfrmAerolist::showPilot()
{
    m_filling = true;
    const QueryItems fields = m_browser->shownPilot();
    m_fields->setRowCount(int(fields.size()));
    for (int r = 0; r < fields.size(); ++r) {
        auto *key = new QTableWidgetItem(fields[r].first);
        key->setFlags(key->flags() & ~Qt::ItemIsEditable);
        m_fields->setItem(r, 0, key);
        m_fields->setItem(r, 1, new QTableWidgetItem(fields[r].second));
    }
    m_filling = false;
    m_count->setText(m_browser->countText());
    m_position->setText(m_browser->positionText());
}

void TfrmAerolist::showBusy(int pending)
{
    // The requests run in the background; the window only shows that they do.
    m_status->setText(pending > 0 ? QStringLiteral("Waiting for the registry service...") : QString());
    if (pending > 0)
        setCursor(Qt::BusyCursor);
    else
        unsetCursor();
}

} // namespace lapvane
