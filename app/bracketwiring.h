// The current stage's bracket on the built-in web server: /api/bracket and a
// "bracket" message on the live feed whenever it changes (another stage, an
// exported heat, a bracket made) and when the server starts.
#pragma once

namespace lapvane {

struct ProgramContext;
struct ProgramServices;
class LiveService;

void wireBracketPublishing(LiveService &live, ProgramContext &ctx, ProgramServices &services);

} // namespace lapvane
