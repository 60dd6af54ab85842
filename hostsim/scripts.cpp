// The simulated host's open files and scripts, and the four callbacks
// through which a plug-in starts a script: the old host's find file, find
// script and perform, and the new host's start script.
#include "hostsim.h"

#include "internal.h"

namespace {

struct Script {
    std::string name;
    int32_t id;
};

struct OpenFile {
    std::string name;
    int32_t ref;
    std::vector<Script> scripts;
};

struct Scripts {
    std::vector<OpenFile> files;
    // Never reused, so that a reference or identifier kept across a close
    // or reopen finds nothing.
    int32_t nextRef = 0x100;
    int32_t nextId = 1;
    std::vector<HsScriptStart> starts;
    std::vector<HsCallback> callbacks;
    std::function<void(const HsScriptStart &)> startHook;
    std::function<void(const HsCallback &)> callbackHook;
    std::optional<int32_t> startAnswer;
    bool performFails = false;
};

Scripts &T()
{
    static Scripts scripts;
    return scripts;
}

bool SameName(const std::string &a, const std::string &b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); i++) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z')
            x = static_cast<unsigned char>(x + 32);
        if (y >= 'A' && y <= 'Z')
            y = static_cast<unsigned char>(y + 32);
        if (x != y)
            return false;
    }
    return true;
}

OpenFile *FileNamed(const std::string &name)
{
    for (OpenFile &file : T().files) {
        if (SameName(file.name, name))
            return &file;
    }
    return nullptr;
}

OpenFile *FileWithRef(int32_t ref)
{
    for (OpenFile &file : T().files) {
        if (file.ref == ref)
            return &file;
    }
    return nullptr;
}

const Script *ScriptNamed(const OpenFile &file, const std::string &name)
{
    for (const Script &script : file.scripts) {
        if (SameName(script.name, name))
            return &script;
    }
    return nullptr;
}

// Records the callback and lets the test act before the host answers.
void Begin(const HsCallback &call)
{
    if (HsCurrentRecord() == nullptr)
        HsNoteViolation("script callback outside a call");
    T().callbacks.push_back(call);
    std::function<void(const HsCallback &)> hook = T().callbackHook;
    if (hook)
        hook(call);
}

void Start(const std::string &file, const std::string &script)
{
    HsScriptStart start{file, script};
    T().starts.push_back(start);
    std::function<void(const HsScriptStart &)> hook = T().startHook;
    if (hook)
        hook(start);
}

std::string Counted(const unsigned char *counted)
{
    return std::string(reinterpret_cast<const char *>(counted), 1u + counted[0]);
}

int32_t HOST_CALL CbFindFile(const unsigned char *countedName)
{
    HsCallback call;
    call.kind = kHsFindFile;
    if (countedName == nullptr) {
        HsNoteViolation("find file without a name");
        return 0;
    }
    call.counted = Counted(countedName);
    Begin(call);
    const OpenFile *file = FileNamed(call.counted.substr(1));
    return file != nullptr ? file->ref : 0;
}

uint8_t HOST_CALL CbFindScript(int32_t fileRef, const unsigned char *countedName, int32_t *scriptId)
{
    HsCallback call;
    call.kind = kHsFindScript;
    call.fileRef = fileRef;
    call.slotGiven = scriptId != nullptr;
    if (countedName == nullptr || scriptId == nullptr) {
        HsNoteViolation("find script without a name or an identifier slot");
        return 0;
    }
    call.counted = Counted(countedName);
    Begin(call);
    const OpenFile *file = FileWithRef(fileRef);
    const Script *script = file != nullptr ? ScriptNamed(*file, call.counted.substr(1)) : nullptr;
    if (script == nullptr)
        return 0;
    *scriptId = script->id;
    return 1;
}

uint8_t HOST_CALL CbPerformScript(int32_t fileRef, const int32_t *scriptId)
{
    HsCallback call;
    call.kind = kHsPerform;
    call.fileRef = fileRef;
    call.slotGiven = scriptId != nullptr;
    if (scriptId == nullptr) {
        HsNoteViolation("perform without a script identifier");
        return 0;
    }
    call.scriptId = *scriptId;
    Begin(call);
    const OpenFile *file = FileWithRef(fileRef);
    if (file == nullptr || T().performFails)
        return 0;
    for (const Script &script : file->scripts) {
        if (script.id == *scriptId) {
            // Copies: the hook may close the file.
            std::string fileName = file->name, scriptName = script.name;
            Start(fileName, scriptName);
            return 1;
        }
    }
    return 0;
}

int32_t HOST_CALL CbStartScript(void *fileText, void *scriptText, int32_t control, void *parameter)
{
    HsCallback call;
    call.kind = kHsStartScript;
    call.fileObject = fileText;
    call.scriptObject = scriptText;
    call.control = control;
    call.parameter = parameter;
    bool readable = HsReadTextObject(fileText, &call.fileText);
    readable = HsReadTextObject(scriptText, &call.scriptText) && readable;
    if (!readable)
        HsNoteViolation("start script with an object that is no live text of the loaded text library");
    Begin(call);
    if (T().startAnswer.has_value()) {
        int32_t answer = *T().startAnswer;
        if ((answer & 0xFFFF) == 0)
            Start(call.fileText, call.scriptText);
        return answer;
    }
    const OpenFile *file = FileNamed(call.fileText);
    if (file == nullptr)
        return kHsFileMissing;
    const Script *script = ScriptNamed(*file, call.scriptText);
    if (script == nullptr)
        return kHsScriptMissing;
    std::string fileName = file->name, scriptName = script->name;
    Start(fileName, scriptName);
    return 0;
}

} // namespace

void HsFillScriptCallbacks(HostCallRecord *record)
{
    record->startScript = CbStartScript;
    record->findScript = CbFindScript;
    record->performScript = CbPerformScript;
    record->findFile = CbFindFile;
}

void HsResetScripts(void)
{
    Scripts &t = T();
    t.files.clear();
    t.starts.clear();
    t.callbacks.clear();
    t.startHook = nullptr;
    t.callbackHook = nullptr;
    t.startAnswer.reset();
    t.performFails = false;
}

void HsOpenFile(const std::string &name, const std::vector<std::string> &scripts)
{
    OpenFile *file = FileNamed(name);
    if (file == nullptr) {
        T().files.push_back(OpenFile{name, T().nextRef++, {}});
        file = &T().files.back();
    }
    file->scripts.clear();
    for (const std::string &script : scripts)
        file->scripts.push_back(Script{script, T().nextId++});
}

bool HsCloseFile(const std::string &name)
{
    std::vector<OpenFile> &files = T().files;
    for (auto it = files.begin(); it != files.end(); ++it) {
        if (SameName(it->name, name)) {
            files.erase(it);
            return true;
        }
    }
    return false;
}

bool HsParseOpenArgument(const std::string &text, std::string *file, std::vector<std::string> *scripts)
{
    size_t equals = text.find('=');
    if (equals == std::string::npos || equals == 0)
        return false;
    *file = text.substr(0, equals);
    scripts->clear();
    size_t start = equals + 1;
    for (;;) {
        size_t comma = text.find(',', start);
        std::string name = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (name.empty())
            return false;
        scripts->push_back(name);
        if (comma == std::string::npos)
            return true;
        start = comma + 1;
    }
}

std::vector<HsScriptStart> HsTakeStarts(void)
{
    std::vector<HsScriptStart> taken;
    taken.swap(T().starts);
    return taken;
}

std::vector<HsCallback> HsTakeCallbacks(void)
{
    std::vector<HsCallback> taken;
    taken.swap(T().callbacks);
    return taken;
}

void HsSetStartHook(std::function<void(const HsScriptStart &)> hook)
{
    T().startHook = std::move(hook);
}

void HsSetCallbackHook(std::function<void(const HsCallback &)> hook)
{
    T().callbackHook = std::move(hook);
}

void HsSetStartScriptAnswer(std::optional<int32_t> answer)
{
    T().startAnswer = answer;
}

void HsSetPerformFails(bool fails)
{
    T().performFails = fails;
}
