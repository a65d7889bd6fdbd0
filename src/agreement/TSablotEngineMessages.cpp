// The engine's messages: the field array of a message as one text, the
// handler that keeps the last error and raises the events by level, and the
// libraries' loose text lines gathered into messages with their place.
#include "agreement/TSablotEngine.h"

#include <algorithm>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

namespace {

constexpr int MaxFields = 256;

} // namespace

std::string TSablotEngine::Trimmed(std::string Text)
{
    while (!Text.empty() && (Text.back() == '\n' || Text.back() == '\r' || Text.back() == ' '))
        Text.pop_back();
    return Text;
}

std::string TSablotEngine::MessageText(const char** Fields)
{
    std::string message, tail;
    if (!Fields)
        return message;
    for (int i = 0; i < MaxFields && Fields[i]; ++i) {
        const std::string field = Fields[i];
        const std::size_t colon = field.find(':');
        const std::string name = field.substr(0, colon);
        const std::string value = colon == std::string::npos ? std::string() : field.substr(colon + 1);
        if (name == "module")
            message = value + " : " + message;
        else if (name == "msg")
            message += value;
        else if (name == "line")
            tail += " at line " + value;
        else if (name == "URI")
            tail = " in " + field + tail;
        else if (name == "node")
            tail = " - " + value + tail;
    }
    return message + tail;
}

int TSablotEngine::MessageHandlerError(int32_t Code, int Level, const char** Fields)
{
    try {
        const std::string text = MessageText(Fields);
        if (Level != 0)
            lastError_ = text;
        else
            lastMessage_ = text;
        if (Level >= 3)
            ++messagesThisRun_;
        if (Level != 0 || ShowDebug)
            DoMessage(Code, Level, Fields);
    } catch (...) {
        throw Exception("Error in the MessageHandlerError callback function");
    }
    return 0;
}

void TSablotEngine::DoMessage(int32_t Code, int Level, const char** Fields)
{
    const TSErrorEvent* events[] = {&OnMsgDebug, &OnMsgInfo, &OnMsgWarning, &OnMsgError, &OnMsgCritical};
    if (Level < 0 || Level > 4)
        return;
    if (*events[Level])
        (*events[Level])(*this, Code, Fields);
}

void TSablotEngine::LogMessage(int Level, const std::string& Module, const std::string& Text)
{
    static const char* types[] = {"msgtype: debug", "msgtype: info", "msgtype: warning", "msgtype: error",
                                  "msgtype: critical"};
    if (Level < 0 || Level > 4)
        return;
    const std::string module = "module:" + Module;
    const std::string msg = "msg: " + Text;
    const char* fields[] = {module.c_str(), types[Level], "code: 100", msg.c_str(), nullptr};
    MessageHandlerError(100, Level, fields);
}

void TSablotEngine::LibraryMessage(int Level, int Code, const std::string& Module, const std::string& Text,
                                   const std::string& Uri, int Line, const std::string& Node)
{
    static const char* types[] = {"msgtype:debug", "msgtype:info", "msgtype:warning", "msgtype:error",
                                  "msgtype:critical"};
    std::vector<std::string> texts;
    texts.push_back(types[std::clamp(Level, 0, 4)]);
    texts.push_back("code:" + std::to_string(Code));
    texts.push_back("module:" + Module);
    if (!Uri.empty())
        texts.push_back("URI:" + Uri);
    if (Line > 0)
        texts.push_back("line:" + std::to_string(Line));
    if (!Node.empty())
        texts.push_back("node:" + Node);
    texts.push_back("msg:" + Text);
    std::vector<const char*> fields;
    for (const auto& t : texts)
        fields.push_back(t.c_str());
    fields.push_back(nullptr);
    MessageHandlerError(Code, Level, fields.data());
}

void TSablotEngine::LibraryText(const std::string& Module, const char* Text)
{
    pendingModule_ = Module;
    pendingText_ += Text;
    for (std::size_t eol; (eol = pendingText_.find('\n')) != std::string::npos;) {
        const std::string line = Trimmed(pendingText_.substr(0, eol));
        pendingText_.erase(0, eol + 1);
        if (line.empty())
            continue;
        // "compilation error: file F line N element E" and the like name
        // where the next message belongs.
        static const std::regex context(R"(^(.*?) ?: file (.*) line (\d+)(?: element (.*))?$)");
        std::smatch m;
        if (std::regex_match(line, m, context)) {
            contextUri_ = m[2];
            contextLine_ = std::atoi(m[3].str().c_str());
            contextNode_ = m[4];
            continue;
        }
        const int level = line.rfind("Warning", 0) == 0 || line.rfind("warning", 0) == 0 ? 2 : 3;
        LibraryMessage(level, 0, Module, line, contextUri_, contextLine_, contextNode_);
        contextUri_.clear();
        contextNode_.clear();
        contextLine_ = 0;
    }
}

void TSablotEngine::FlushLibraryText()
{
    if (!Trimmed(pendingText_).empty())
        LibraryText(pendingModule_, "\n");
    pendingText_.clear();
    contextUri_.clear();
    contextNode_.clear();
    contextLine_ = 0;
}
