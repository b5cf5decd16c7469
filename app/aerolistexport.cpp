// The registry export window: shows what the stage results export reports.
#include "app/aerolistexport.h"

#include "app/programcontext.h"
#include "app/widgets.h"
#include "core/operatorprompt.h"
#include "events/eventsviews.h"
#include "online/registryclient.h"
#include "online/registryexport.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QListWidget>
#include <QVBoxLayout>

namespace lapvane {

TfrmAerolistExport::TfrmAerolistExport(ProgramContext &ctx, EventsViews &events, OperatorPrompt &prompt,
                                       QWidget *parent)
    : QDialog(parent), m_events(events), m_prompt(prompt), m_client(std::make_unique<RegistryClient>(ctx.settings)),
      m_export(std::make_unique<RegistryExport>(ctx.db.db(), *m_client))
{
    setObjectName(QStringLiteral("frmAerolistExport"));
    setWindowTitle(QStringLiteral("Send to Aerolist"));
    setAttribute(Qt::WA_QuitOnClose, false);
    resize(640, 480);

    auto *names = new QFormLayout;
    m_eventName = namedLabel(QStringLiteral("lbevent"), QString(), this);
    m_stageName = namedLabel(QStringLiteral("lbstage"), QString(), this);
    names->addRow(QStringLiteral("Event:"), m_eventName);
    names->addRow(QStringLiteral("Stage:"), m_stageName);

    auto *buttons = new QHBoxLayout;
    m_exportButton = namedButton(QStringLiteral("btexport"), QStringLiteral("Export"), this);
    m_cancel = namedButton(QStringLiteral("btcancel"), QStringLiteral("Cancel"), this);
    m_hide = namedButton(QStringLiteral("bthide"), QStringLiteral("Hide"), this);
    m_hide->setVisible(false);
    buttons->addStretch();
    buttons->addWidget(m_exportButton);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_hide);

    m_log = new QListWidget(this);
    m_log->setObjectName(QStringLiteral("lbxlog"));
    m_log->addItems(m_export->log());

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(names);
    layout->addWidget(m_log, 1);
    layout->addLayout(buttons);

    connect(m_exportButton, &QPushButton::clicked, this, &TfrmAerolistExport::btexportClick);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_hide, &QPushButton::clicked, this, &TfrmAerolistExport::bthideClick);
    connect(m_export.get(), &RegistryExport::lineAdded, this, [this](const QString &line) {
        m_log->addItem(line);
        m_log->scrollToBottom();
    });
    connect(m_export.get(), &RegistryExport::failed, this, [this](const QString &message) { m_prompt.notice(message); });
    connect(m_export.get(), &RegistryExport::finished, this, &TfrmAerolistExport::exportFinished);
}

TfrmAerolistExport::~TfrmAerolistExport() = default;

void TfrmAerolistExport::btsendtoAerolistClick()
{
    if (m_export->running()) {
        // The window of the export under way comes forward.
        show();
        raise();
        activateWindow();
        m_prompt.notice(QStringLiteral("The results are still being sent to Aerolist; wait until the log shows the end."));
        return;
    }
    const int row = m_events.currentEventRow();
    const QString unic = row < 0 ? QString() : m_events.eventsModel()->value(row, QStringLiteral("aerolist")).toString();
    if (!RegistryExport::hasUnic(unic)) {
        m_prompt.notice(RegistryExport::noUnicMessage());
        return;
    }
    m_unic = unic;
    m_stageId = m_events.currentStageId();
    m_eventName->setText(m_events.currentEventName());
    m_stageName->setText(m_events.currentStageName());
    m_exportButton->setVisible(true);
    m_exportButton->setEnabled(true);
    m_cancel->setVisible(true);
    m_cancel->setEnabled(true);
    m_hide->setVisible(false);
    // Modal until "Export" or "Cancel", without holding the race: the
    // window is shown, not waited for.
    hide();
    setWindowModality(Qt::ApplicationModal);
    show();
}

void TfrmAerolistExport::btexportClick()
{
    // From here the window stays open, no longer modal, and logs the progress.
    hide();
    setWindowModality(Qt::NonModal);
    show();
    m_exportButton->setEnabled(false);
    m_cancel->setEnabled(false);
    m_export->start(m_unic, m_stageId);
}

void TfrmAerolistExport::exportFinished()
{
    m_hide->setVisible(true);
    m_exportButton->setVisible(false);
    m_cancel->setVisible(false);
}

void TfrmAerolistExport::bthideClick()
{
    hide();
    m_exportButton->setVisible(true);
    m_cancel->setVisible(true);
    m_hide->setVisible(false);
}

} // namespace lapvane
