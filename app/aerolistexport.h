// The registry export window (TfrmAerolistExport): sends the current stage's
// results to the registry service and shows the progress in its log.
#pragma once

#include <QDialog>

#include <memory>

class QLabel;
class QListWidget;
class QPushButton;

namespace lapvane {

struct ProgramContext;
class EventsViews;
class OperatorPrompt;
class RegistryClient;
class RegistryExport;

class TfrmAerolistExport : public QDialog
{
    Q_OBJECT
public:
    TfrmAerolistExport(ProgramContext &ctx, EventsViews &events, OperatorPrompt &prompt, QWidget *parent = nullptr);
    ~TfrmAerolistExport() override;

    RegistryClient &client() { return *m_client; }
    RegistryExport &exporter() { return *m_export; }

    // btsendtoAerolistClick: checks the event's identifier, then shows the
    // window (modal) with "Export" and "Cancel".
    void btsendtoAerolistClick();
    void btexportClick();
    void bthideClick();

private:
    void exportFinished();

    EventsViews &m_events;
    OperatorPrompt &m_prompt;
    std::unique_ptr<RegistryClient> m_client;
    std::unique_ptr<RegistryExport> m_export;
    QLabel *m_eventName = nullptr;
    QLabel *m_stageName = nullptr;
    QPushButton *m_exportButton = nullptr;
    QPushButton *m_cancel = nullptr;
    QPushButton *m_hide = nullptr;
    QListWidget *m_log = nullptr;
    // What the export sends, taken when the window opens.
    QString m_unic;
    int m_stageId = 0;
};

} // namespace lapvane
