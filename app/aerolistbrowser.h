// The registry browser window (TfrmAerolist): the pilots who signed up for
// the current event at the registry service, one at a time, with the
// commands that copy them into the local registry.
#pragma once

#include <QWidget>

#include <memory>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTableWidget;

namespace lapvane {

struct ProgramContext;
class EventsViews;
class OperatorPrompt;
class PilotRegistry;
class RegistryBrowser;
class RegistryClient;

class TfrmAerolist : public QWidget
{
    Q_OBJECT
public:
    TfrmAerolist(ProgramContext &ctx, PilotRegistry &pilots, EventsViews &events, OperatorPrompt &prompt,
                 QWidget *parent = nullptr);
    ~TfrmAerolist() override;

    RegistryBrowser &browser() { return *m_browser; }
    RegistryClient &client() { return *m_client; }

    // Handlers.
    void btgetdataClick();
    void Button1Click();
    void btlocateClick();

signals:
    // "Locate pilot in DB": the text for the pilots search field.
    void locateRequested(const QString &text);
    // A local pilot was written (the registry grid shows it).
    void localPilotChanged(int pilotId);

private:
    QString currentUnic() const;
    void showPilot();
    void showBusy(int pending);

    EventsViews &m_events;
    OperatorPrompt &m_prompt;
    std::unique_ptr<RegistryClient> m_client;
    std::unique_ptr<RegistryBrowser> m_browser;
    QTableWidget *m_fields = nullptr;
    QLabel *m_count = nullptr;
    QLabel *m_position = nullptr;
    QLabel *m_status = nullptr;
    QLabel *m_photo = nullptr;
    QLineEdit *m_photoFile = nullptr;
    QPlainTextEdit *m_log = nullptr;
    bool m_filling = false;
};

} // namespace lapvane
