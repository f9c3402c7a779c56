#include "cli_language.h"

#include <QFile>
#include <QSaveFile>
#include <QStringList>
#include <cstdio>

#include "apperror.h"
#include "languagecontroller.h"
#include "languagefile.h"
#include "languagemanager.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

struct TToolArgs {
    enum Tool { kNone, kMessages, kCheck, kTemplate } tool = kNone;
    QString file;      // the tool's file
    QString language;  // --messages --language FILE
};

void PrintLine(const QString& line) { std::printf("%s\n", line.toUtf8().constData()); }

void PrintError(const char* program, const QString& message) {
    QString text = message;
    text.replace("\r\n", "\n");
    std::fprintf(stderr, "%s: %s\n", program, text.toUtf8().constData());
}

bool Parse(const std::vector<std::string>& args, TToolArgs& out, std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        TToolArgs::Tool tool = TToolArgs::kNone;
        if (arg == "--messages") tool = TToolArgs::kMessages;
        else if (arg == "--check-language") tool = TToolArgs::kCheck;
        else if (arg == "--write-language-template") tool = TToolArgs::kTemplate;
        if (tool != TToolArgs::kNone) {
            if (out.tool != TToolArgs::kNone) {
                error = "only one of --messages, --check-language, --write-language-template";
                return false;
            }
            out.tool = tool;
            if (tool == TToolArgs::kMessages) continue;
        }
        if (tool != TToolArgs::kNone || arg == "--language") {
            if (i + 1 >= args.size()) {
                error = arg + " needs a file";
                return false;
            }
            (arg == "--language" ? out.language : out.file) = QString::fromLocal8Bit(args[++i].c_str());
            continue;
        }
        error = "\"" + arg + "\" does not go with the language tools";
        return false;
    }
    if (!out.language.isEmpty() && out.tool != TToolArgs::kMessages) {
        error = "--language goes with --messages";
        return false;
    }
    return true;
}

int Messages(TLanguageManager& manager, const QString& language) {
    TLanguageFile file;
    if (!language.isEmpty()) file = LoadLanguageFile(language);
    for (const QString& key : manager.MessageKeys()) {
        const QString translated = file.Constant(key);
        const QString text = translated.isNull() ? manager.DefaultMessageText(key) : translated;
        PrintLine(key + '\t' + EscapeValue(text));
    }
    return 0;
}

int Check(TLanguageManager& manager, const QString& path, const char* program) {
    const QByteArray bytes = ReadLanguageBytes(path);
    const TLanguageFile file = ParseLanguageFile(bytes);
    const bool utf16 = bytes.startsWith("\xFF\xFE");
    PrintLine("File: " + path);
    PrintLine(QStringLiteral("Language: %1 %2").arg(file.langId).arg(LanguageDisplayName(file.langId)));
    PrintLine(utf16 ? QStringLiteral("Encoding: UTF-16 LE")
                    : QStringLiteral("Encoding: code page %1").arg(AnsiCodePage(file.langId)));

    QStringList missing, unknown;
    int translated = 0;
    const QStringList keys = manager.MessageKeys();
    for (const QString& key : keys) {
        if (file.Constant(key).isNull())
            missing << "message " + key;
        else
            ++translated;
    }
    for (const auto& [key, text] : file.constants) {
        (void)text;
        if (!manager.HasMessage(key)) unknown << "message " + key;
    }
    PrintLine(QStringLiteral("Messages: %1 of %2").arg(translated).arg(keys.size()));

    int windowTexts = 0, windowTranslated = 0;
    QStringList knownSections;
    for (const TLanguageController* c : manager.Controllers()) {
        const QString section = c->Section();
        knownSections << section.toLower();
        const QMap<int, QString> texts = file.sections.value(section.toLower());
        QList<int> ids;
        for (const TTranslatable& t : c->Table()) {
            ids << t.id;
            ++windowTexts;
            if (texts.contains(t.id))
                ++windowTranslated;
            else
                missing << QStringLiteral("[%1] %2 (%3.%4)").arg(section).arg(t.id)
                               .arg(*t.object ? t.object : "").arg(t.property);
        }
        for (auto it = texts.cbegin(); it != texts.cend(); ++it)
            if (!ids.contains(it.key())) unknown << QStringLiteral("[%1] %2").arg(section).arg(it.key());
    }
    if (windowTexts > 0) {
        PrintLine(QStringLiteral("Window texts: %1 of %2").arg(windowTranslated).arg(windowTexts));
        for (const QString& name : file.sectionNames) {
            if (name.compare("$CONSTANTS", Qt::CaseInsensitive) != 0 &&
                !knownSections.contains(name.toLower()))
                unknown << "section [" + name + "]";
        }
    } else {
        int inFile = 0;
        for (const auto& section : file.sections) inFile += section.size();
        PrintLine(QStringLiteral("Window texts: %1 in %2 sections (this program has no windows "
                                 "to compare them with; orvane --check-language does)")
                      .arg(inFile)
                      .arg(file.sections.size()));
    }
    for (const QString& m : missing) PrintLine("Missing: " + m);
    for (const QString& u : unknown) PrintLine("Unknown: " + u);
    if (file.langId == 0) {
        // A common slip on Linux: the BOM hides the first line's "LangID" from the reader.
        if (bytes.startsWith("\xEF\xBB\xBF"))
            PrintError(program, "the file is UTF-8, which is not read: save it as UTF-16 LE with a "
                                "byte-order mark");
        PrintError(program, "the file has no LangID (or 0): it is never offered");
        return kExitFailure;
    }
    return 0;
}

int WriteTemplate(TLanguageManager& manager, const QString& path) {
    const QString text = manager.LanguageTemplate();
    QByteArray bytes("\xFF\xFE", 2);
    bytes.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit())
        throw EAppError("Cannot write " + path.toStdString() + ": " + out.errorString().toStdString());
    return 0;
}

}  // namespace

bool IsLanguageToolRequest(const std::vector<std::string>& args) {
    for (const std::string& a : args)
        if (a == "--messages" || a == "--check-language" || a == "--write-language-template")
            return true;
    return false;
}

int RunLanguageTool(const std::vector<std::string>& args, TLanguageManager& manager,
                    const char* program) {
    TToolArgs tool;
    std::string error;
    if (!Parse(args, tool, error)) {
        std::fprintf(stderr, "%s: %s\n(see %s --help)\n", program, error.c_str(), program);
        return kExitUsage;
    }
    try {
        switch (tool.tool) {
            case TToolArgs::kMessages: return Messages(manager, tool.language);
            case TToolArgs::kCheck: return Check(manager, tool.file, program);
            case TToolArgs::kTemplate: return WriteTemplate(manager, tool.file);
            case TToolArgs::kNone: break;
        }
    } catch (const EAppError& e) {
        PrintError(program, QString::fromUtf8(e.what()));
        return kExitFailure;
    }
    return kExitUsage;
}

std::string LanguageUsage() {
    return "Tools for translators (see docs/translating.md):\n"
           "  --messages [--language FILE.lng]   print every named message (key, tab, text)\n"
           "  --check-language FILE.lng          load a language file as the program does and\n"
           "                                     report what it translates, lacks or does not know\n"
           "  --write-language-template FILE     write a language file with every English text\n";
}
