#pragma once
// The companion-tool launcher behind the Tools menu: five programs people reach for beside an
// audio editor. Each has a settings key "Quillfen/<key>" whose value "path" may name the
// folder it is installed in; otherwise it is looked up on PATH; when neither finds it, the
// user is told and its web page is opened.
//
// Thread: user-interface thread.

#include <QString>
#include <array>

class TPrompts;

struct TCompanionTool {
    const char* key;      // settings key under "Quillfen", holding "path"
    const char* program;  // program file name
    const char* caption;  // Tools menu caption, with its access key
    const char* page;     // web page offered when the tool is not installed
};

inline constexpr int kCompanionToolCount = 5;
extern const std::array<TCompanionTool, kCompanionToolCount> CompanionTools;

// How a launch went.
enum class TToolLaunch {
    Configured,   // started from the folder in its settings key
    FoundOnPath,  // started from PATH
    NotFound,     // the user was told and the web page opened
};

// Starts `tool` detached with one argument, `argument` (the Tools commands pass an empty one).
// Whether an installed tool actually starts is not examined. `prompts` null means
// DefaultPrompts().
TToolLaunch LaunchTool(const TCompanionTool& tool, const QString& argument,
                       TPrompts* prompts = nullptr);

// The "path" value of the tool's settings key, or an empty string when there is none.
QString ToolFolder(const TCompanionTool& tool);
