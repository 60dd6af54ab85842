// The automation start against the test automation server, registered as
// the host's: which document runs the script, what reaches the server, the
// result of every failure, and that every object goes back.
#include <windows.h>
#include <ole2.h>

#include "support/fixture.h"

#include <sstream>

#include "automation_server/test_server.h"
#include "frame/plugin_frame.h"
#include "server_registry.h"
#include "trigger/trigger.h"

namespace {

const int32_t kFail = (int32_t)0x80004005u;       // E_FAIL
const int32_t kInvalidArg = (int32_t)0x80070057u; // E_INVALIDARG
const int32_t kBadIndex = (int32_t)0x8002000Bu;   // DISP_E_BADINDEX
const int32_t kRetryLater = (int32_t)0x8001010Au; // RPC_E_SERVERCALL_RETRYLATER
const int32_t kNoText = 87;                       // converting no text: ERROR_INVALID_PARAMETER

struct Fault {
    const char *member;
    int32_t which;
    int32_t hresult;
    uint16_t type;
};

// The server's side door, in the module COM loads (the same file is the
// same module). This reference keeps its record across OLE stops.
struct Server {
    TestServerResetProc reset;
    TestServerAddDocumentProc addDocument;
    TestServerSetCountProc setCount;
    TestServerAddFaultProc addFault;
    TestServerRecordProc record;
    TestServerReferencesProc references;
};

template <typename Proc> void Find(HMODULE module, const char *name, Proc *proc)
{
    *proc = reinterpret_cast<Proc>(reinterpret_cast<void *>(GetProcAddress(module, name)));
    ASSERT_NE(*proc, nullptr) << name;
}

const Server *TheServer()
{
    static Server server;
    static HMODULE module;
    if (module == nullptr) {
        module = LoadLibraryA(TestServerPath().c_str());
        if (module == nullptr)
            return nullptr;
        Find(module, "TestServerReset", &server.reset);
        Find(module, "TestServerAddDocument", &server.addDocument);
        Find(module, "TestServerSetCount", &server.setCount);
        Find(module, "TestServerAddFault", &server.addFault);
        Find(module, "TestServerRecord", &server.record);
        Find(module, "TestServerReferences", &server.references);
    }
    return &server;
}

// True when COM is started on this thread; changes nothing.
bool ComStarted()
{
    APTTYPE type;
    APTTYPEQUALIFIER qualifier;
    return CoGetApartmentType(&type, &qualifier) == S_OK;
}

class AutomationTest : public PluginTest {
protected:
    void SetUp() override
    {
        PluginTest::SetUp();
        server = TheServer();
        ASSERT_NE(server, nullptr) << TestServerPath();
        // A case that leaks references fails itself, not the ones after it.
        held = server->references();
        ASSERT_EQ(TestServerRegister(), "");
        ASSERT_FALSE(ComStarted());
    }
    void TearDown() override
    {
        PluginTest::TearDown();
        TestServerUnregister();
        EXPECT_FALSE(ComStarted()) << "OLE left started after shutdown";
    }

    void Setup(const std::vector<std::wstring> &documents, const std::vector<Fault> &faults = {})
    {
        server->reset();
        for (const std::wstring &d : documents)
            server->addDocument(d.c_str());
        for (const Fault &f : faults)
            server->addFault(f.member, f.which, f.hresult, f.type);
    }

    // One start inside a host call; every object handed out must be back.
    int32_t Trigger(const std::string &file, const std::string &script = "Report")
    {
        int32_t result = 0;
        Inside([&] { result = QuTriggerByAutomation(file.c_str(), script.c_str()); });
        EXPECT_EQ(server->references(), held) << "objects not released, starting " << file;
        return result;
    }

    std::string Record()
    {
        std::string buffer(static_cast<size_t>(server->record(nullptr, 0)) + 1, '\0');
        server->record(&buffer[0], static_cast<int32_t>(buffer.size()));
        return buffer.c_str();
    }

    // The record in short: "new" for the object's creation, D and C for
    // the Documents and Count gets, I2 for Item 2, N2 for document 2's
    // FullName, R2 for running the script in it. Anything else stays whole.
    std::string Calls()
    {
        std::istringstream in(Record());
        std::string calls;
        for (std::string line; std::getline(in, line);) {
            int n = 0;
            sscanf(line.c_str(), "%*[^0-9]%d", &n);
            const std::string number = std::to_string(n);
            std::string call = line;
            if (line == "create")
                call = "new";
            else if (line == "app.Documents get")
                call = "D";
            else if (line == "docs.Count get")
                call = "C";
            else if (line == "docs.Item get " + number)
                call = "I" + number;
            else if (line == "doc" + number + ".FullName get")
                call = "N" + number;
            else if (line == "doc" + number + ".doFMScript method \"Report\"")
                call = "R" + number;
            calls += (calls.empty() ? "" : " ") + call;
        }
        return calls;
    }

    const Server *server = nullptr;
    int32_t held = 0;
};

TEST_F(AutomationTest, RunsTheScriptInTheFirstDocumentWhoseBaseNameBeginsTheFileName)
{
    const struct {
        std::vector<std::wstring> documents;
        const char *file, *calls;
    } cases[] = {
        // Only the base name's length is compared: Con matches Contacts.
        {{L"C:\\Data\\Con.fp5", L"C:\\Data\\Contacts.fp5"}, "Contacts", "new D C I1 N1 R1"},
        {{L"C:\\Data\\Contacts.fp5", L"C:\\Data\\Con.fp5"}, "Contacts", "new D C I1 N1 R1"},
        {{L"C:\\Data\\Contacts.fp5", L"C:\\Data\\Con.fp5"}, "Con", "new D C I1 N1 I2 N2 R2"},
        {{L"C:\\Data\\Contacts.fp5"}, "Contacts.fp5", "new D C I1 N1 R1"},
        {{L"C:\\Data\\Contacts.fp5"}, "Contacts2", "new D C I1 N1 R1"},
        {{L"C:\\DATA\\CONTACTS.FP5"}, "contacts", "new D C I1 N1 R1"},
        {{L"Contacts.fp5"}, "Contacts", "new D C I1 N1 R1"},
        // The last dot cuts, even in a folder name.
        {{L"C:\\My.Files\\Contacts"}, "Contacts", "new D C I1 N1"},
        {{L"C:\\My.Files\\Contacts"}, "MyBudget", "new D C I1 N1 R1"},
        // A backslash in the first place is not looked at: the base name is "\My".
        {{L"\\My.Files\\Contacts"}, "MyBudget", "new D C I1 N1"},
        {{L"C:\\Data\\Orders.fp5", L"C:\\Data\\Invoices.fp5"}, "Contacts", "new D C I1 N1 I2 N2"},
        {{}, "Contacts", "new D C"},
    };
    for (const auto &c : cases) {
        Setup(c.documents);
        EXPECT_EQ(Trigger(c.file), 0) << c.file;
        EXPECT_EQ(Calls(), c.calls) << c.file;
    }
}

TEST_F(AutomationTest, ScriptNameArrivesAsItsOwnBstrOrEmptyWhenTooLong)
{
    const std::string longest(499, 's');
    const struct {
        std::string script, arrives;
    } cases[] = {
        {"Monthly report", "Monthly report"}, {"", ""}, {longest, longest}, {longest + "s", ""},
        {std::string(5000, 'x'), ""},
    };
    for (const auto &c : cases) {
        Setup({L"C:\\Data\\Contacts.fp5"});
        EXPECT_EQ(Trigger("Contacts", c.script), 0) << c.script.size() << " characters";
        // The server notes an argument that is not a BSTR of its own length.
        EXPECT_EQ(Record(), "create\napp.Documents get\ndocs.Count get\ndocs.Item get 1\ndoc1.FullName get\n"
                            "doc1.doFMScript method \"" +
                                c.arrives + "\"\n")
            << c.script.size() << " characters";
    }
}

TEST_F(AutomationTest, ResultsOfFailingCalls)
{
    const struct {
        std::vector<Fault> faults;
        const char *file;
        int32_t count; // what Count answers; -2 for the number of documents
        int32_t result;
        const char *calls;
    } cases[] = {
        {{{"Documents", 0, kFail, 0}}, "Contacts", -2, kFail, "new D"},
        {{{"Documents", 0, 0, VT_BSTR}}, "Contacts", -2, kInvalidArg, "new D"},
        {{{"Documents", 0, 0, kTestServerNothing}}, "Contacts", -2, kInvalidArg, "new D"},
        {{{"Count", 0, kRetryLater, 0}}, "Contacts", -2, kRetryLater, "new D C"},
        {{{"Count", 0, 0, VT_DISPATCH}}, "Contacts", -2, kInvalidArg, "new D C"},
        {{}, "Contacts", 0, 0, "new D C"},
        {{}, "Contacts", -1, 0, "new D C"},
        {{}, "Contacts", 1, 0, "new D C I1 N1"},
        // A later document's answer replaces an Item failure; the last one stands.
        {{}, "Contacts", 3, 0, "new D C I1 N1 I2 N2 R2"},
        {{}, "Invoices", 3, kBadIndex, "new D C I1 N1 I2 N2 I3"},
        {{{"Item", 1, kFail, 0}}, "Contacts", -2, 0, "new D C I1 I2 N2 R2"},
        {{{"Item", 1, kFail, 0}}, "Invoices", -2, 0, "new D C I1 I2 N2"},
        {{{"Item", 2, kRetryLater, 0}}, "Contacts", -2, kRetryLater, "new D C I1 N1 I2"},
        {{{"Item", 2, 0, VT_UNKNOWN}}, "Contacts", -2, kInvalidArg, "new D C I1 N1 I2"},
        // A name that cannot be read ends the search with the conversion's error.
        {{{"FullName", 1, kFail, 0}}, "Contacts", -2, kNoText, "new D C I1 N1"},
        {{{"FullName", 1, 0, VT_I4}}, "Contacts", -2, kNoText, "new D C I1 N1"},
        {{{"doFMScript", 0, kRetryLater, 0}}, "Contacts", -2, kRetryLater, "new D C I1 N1 I2 N2 R2"},
    };
    for (const auto &c : cases) {
        Setup({L"C:\\Data\\Orders.fp5", L"C:\\Data\\Contacts.fp5"}, c.faults);
        if (c.count != -2)
            server->setCount(c.count);
        const std::string what = std::string(c.faults.empty() ? "Count" : c.faults[0].member) + ", " + c.file;
        EXPECT_EQ(Trigger(c.file), c.result) << what;
        EXPECT_EQ(Calls(), c.calls) << what;
    }
}

TEST_F(AutomationTest, NothingIsCreatedForAnEmptyFileNameOrAnUnknownProgId)
{
    Setup({L"C:\\Data\\Contacts.fp5"});
    EXPECT_EQ(Trigger(""), -50);
    EXPECT_FALSE(OleStarted);
    TestServerUnregister();
    EXPECT_EQ(Trigger("Contacts"), (int32_t)0x800401F3u); // CO_E_CLASSSTRING
    EXPECT_EQ(Record(), "");
}

TEST_F(AutomationTest, OleStartsOnceAndStopsOnceAtShutdown)
{
    EXPECT_TRUE(QuStartAutomation());
    EXPECT_TRUE(QuStartAutomation());
    Setup({L"C:\\Data\\Contacts.fp5"});
    EXPECT_EQ(Trigger("Contacts"), 0);
    HsShutdown();
    EXPECT_FALSE(OleStarted);
    EXPECT_FALSE(ComStarted()) << "started more often than stopped";
    ASSERT_EQ(HsStartup(50), 4);

    // Already started on the thread (S_FALSE) counts, and is stopped once.
    ASSERT_EQ(OleInitialize(nullptr), S_OK);
    EXPECT_TRUE(QuStartAutomation());
    QuStopAutomation();
    EXPECT_TRUE(ComStarted()) << "stopped more often than started";
    OleUninitialize();
}

TEST_F(AutomationTest, OleThatCannotStartGivesMinus28AndIsTriedAgain)
{
    Setup({L"C:\\Data\\Contacts.fp5"});
    // A thread in the multithreaded apartment cannot take OLE.
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    EXPECT_EQ(Trigger("Contacts"), -28);
    EXPECT_FALSE(OleStarted);
    CoUninitialize();
    EXPECT_EQ(Trigger("Contacts"), 0);
    EXPECT_EQ(Calls(), "new D C I1 N1 R1");
}

} // namespace
