// Connects the Telegram commands to the window: the Telegram settings
// sub-page, the events page buttons, "to Telegram", "Send to Telega" with the
// signal chart, the "Sending..." notice and the bot dialogue log.
#pragma once

namespace lapvane {

struct ProgramContext;
class MainWindow;
class TelegramService;

void wireTelegram(MainWindow &window, TelegramService &telegram, ProgramContext &ctx);

} // namespace lapvane
