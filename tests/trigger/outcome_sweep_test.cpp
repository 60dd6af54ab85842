// Fails every fallible host callback of each scenario in turn, once only
// and from then on, and checks what came of it, not only that nothing
// leaked: the answer is the correct one or an error result; the scripts
// sent and, after later polls without faults, the scripts started, the
// table's records and the switches are those of the correct run or those
// of a run in which the scenario never happened. A correct answer with any
// but the correct outcome is a fault too.
#include "remote/remote_fixture.h"
#include "remote/servers.h"

#include <cstdio>

#include "frame/host_overrides.h"

namespace {

enum { kVersion = 0, kScheduleEvent = 5 };

const uint32_t kNow = kDue1 + 3600; // 01:00 on kDay1

struct Outcome {
    std::string answer;
    bool answerFaulted = false;
    std::vector<std::string> started, sent; // during the scenario
    std::vector<std::string> allStarted;    // also during the polls after it
    std::string table, switches;            // after those polls
};

struct Scenario {
    std::string name;
    int16_t hostVersion;
    std::function<void()> prepare;     // after a fresh start-up, without faults
    std::function<HsCallResult()> run; // with the fault armed
    std::function<void()> settle;      // without faults; null: a few polls
    bool answerOfAnother = false;      // the answer is of a call the scenario makes inside it
};

HsCallResult NoAnswer()
{
    return HsCallResult{std::string(), false, false};
}

bool IsErrorResult(const std::string &answer)
{
    return answer.size() > 3 && answer.compare(0, 3, "$$-") == 0 &&
           answer.find_first_not_of("0123456789", 3) == std::string::npos;
}

std::string Join(const std::vector<std::string> &items)
{
    std::string all;
    for (const std::string &item : items)
        all += "[" + item + "]";
    return all;
}

class OutcomeSweepTest : public RemoteTest {
protected:
    void SetUp() override
    {
        RemoteTest::SetUp();
        HsOpenFile("Orders", {"Print", "Report"});
    }

    // As a host that has just loaded the module, with no event file.
    void Fresh(int16_t version)
    {
        HsShutdown();
        HsSetStartHook(nullptr);
        EmptyHostFolder();
        QuResetLoadState();
        SetNow1904(kNow);
        ASSERT_EQ(HsStartup(version), 4);
        Call(kStopListener, "");
        HsTakeStarts();
        Drain(0);
    }

    std::vector<std::string> Drain(int ms)
    {
        std::vector<std::string> got;
        std::string datagram;
        // Loopback datagrams are there at once; the first wait is for safety.
        while (ProbeReceive(probe, &datagram, got.empty() ? ms : 20))
            got.push_back(datagram);
        return got;
    }

    std::vector<std::string> Started()
    {
        std::vector<std::string> names;
        for (const HsScriptStart &s : HsTakeStarts())
            names.push_back(s.file + "/" + s.script);
        return names;
    }

    std::string Table()
    {
        std::string all;
        for (const EventView &e : Events())
            all += std::to_string(e.id) + ":" + std::to_string(e.state) + ":" + std::to_string(e.flags) +
                   ":" + std::to_string(e.due) + ":" + e.text + ";";
        return all;
    }

    // mode 0: no fault; 1: the n-th callback fails; 2: every one from the n-th.
    Outcome RunOnce(const Scenario &s, int mode, int64_t n, bool sends, bool *injected)
    {
        Outcome out;
        Fresh(s.hostVersion);
        s.prepare();
        HsTakeStarts();
        if (mode == 1)
            HsFailNthFallible(n);
        else if (mode == 2)
            HsFailFromNthFallible(n);
        HsCallResult answer = s.run();
        *injected = HsFaultInjected();
        HsFailNthFallible(0);
        const std::string where =
            s.name + (mode == 2 ? ", failing from callback " : ", failing callback ") + std::to_string(n);
        for (const std::string &v : HsTakeViolations())
            ADD_FAILURE() << where << ": " << v;
        EXPECT_EQ(HsLockedHandles(), 0) << where;
        out.answer = answer.text;
        out.answerFaulted = answer.faulted;
        out.started = Started();
        if (sends)
            out.sent = Drain(mode == 0 ? 2000 : 100);
        if (s.settle) {
            s.settle();
        } else {
            for (int i = 0; i < 4; i++)
                IdleAfter(3000);
        }
        out.allStarted = out.started;
        for (const std::string &name : Started())
            out.allStarted.push_back(name);
        out.table = Table();
        out.switches = "alternate " + std::to_string(UseAlternateTriggerMethod) + ", lock " +
                       LocalTriggerLock + ", key " + ListenerKey +
                       (ListenerSocket != kNoSocket ? ", listening" : "") + ", last " +
                       std::to_string(EventTable.lastTriggeredID);
        ExpectCountersMatchRecords(where, false);
        return out;
    }

    static bool SameEffects(const Outcome &a, const Outcome &b)
    {
        // A start that failed inside the scenario may come at a later poll.
        return a.sent == b.sent && a.allStarted == b.allStarted && a.table == b.table &&
               a.switches == b.switches;
    }

    static std::string Describe(const Outcome &o)
    {
        return "answer \"" + o.answer + "\", started " + Join(o.started) + ", sent " + Join(o.sent) +
               ", in all started " + Join(o.allStarted) + ", table " + o.table + ", " + o.switches;
    }

    // Runs the scenario without faults, without the scenario, and with each
    // failure in turn; returns the number of failure points.
    int64_t Sweep(const Scenario &s, bool sends = false)
    {
        bool injected;
        const Outcome correct = RunOnce(s, 0, 0, sends, &injected);
        Scenario none = s;
        none.run = NoAnswer;
        const Outcome nothing = RunOnce(none, 0, 0, sends, &injected);
        int64_t points = 0;
        for (int mode = 1; mode <= 2; mode++) {
            int64_t n = 1;
            for (; n < 500; n++) {
                const Outcome got = RunOnce(s, mode, n, sends, &injected);
                if (!injected)
                    break;
                points++;
                const std::string where =
                    s.name + (mode == 2 ? ", failing from callback " : ", failing callback ") +
                    std::to_string(n) + ": " + Describe(got) + "\n correct: " + Describe(correct) +
                    "\n nothing: " + Describe(nothing);
                // A host that refuses all memory from some point on may also
                // refuse the memory to write or to correct the answer.
                bool answerUnwritable = mode == 2 && got.answerFaulted;
                bool answerOK = got.answer == correct.answer || IsErrorResult(got.answer) || answerUnwritable;
                EXPECT_TRUE(answerOK) << where;
                bool successAnswered = got.answer == correct.answer && !correct.answer.empty() &&
                                       !IsErrorResult(correct.answer) && !answerUnwritable;
                // A retrying caller must be able to trust an error: the call
                // did nothing.
                bool errorAnswered =
                    IsErrorResult(got.answer) && got.answer != correct.answer && !answerUnwritable;
                if (successAnswered)
                    EXPECT_TRUE(SameEffects(got, correct)) << where;
                else if (errorAnswered && !s.answerOfAnother)
                    EXPECT_TRUE(SameEffects(got, nothing)) << "error answered after the action: " << where;
                else
                    EXPECT_TRUE(SameEffects(got, correct) || SameEffects(got, nothing)) << where;
            }
            EXPECT_GT(n, 1) << s.name << " made no fallible callback";
        }
        return points;
    }

    // `sending`: the first this many scenarios put datagrams on the wire.
    void SweepAll(const std::vector<Scenario> &scenarios, size_t sending = 0)
    {
        int64_t points = 0;
        for (size_t i = 0; i < scenarios.size(); i++)
            points += Sweep(scenarios[i], i < sending);
        RecordProperty("scenarios", static_cast<int>(scenarios.size()));
        RecordProperty("failure_points", static_cast<int>(points));
        std::printf("[ sweep    ] %d scenarios, %d failure points\n", static_cast<int>(scenarios.size()),
                    static_cast<int>(points));
    }
};

// A fired event, and then by slot: one due now, one due in an hour (kept
// after a restart), a silent one.
void StandardEvents()
{
    AddEvent(kNow - 60, 0, "Orders|Print|firedID|fired|text");
    FireEvent(4242);
    AddEvent(kNow, 0, "Orders|Report|dueID|due text");
    AddEvent(kNow + 3600, 1, "Orders|Print|laterID|");
    AddEvent(kNow - 30, kFlagSilent, "||silentID|silent|text");
}

// The same without the one due now, so that only the scenario fires.
void NothingDue()
{
    StandardEvents();
    Call(kDeleteEvent, "-deleteByID|4243");
}

std::function<HsCallResult()> Calling(uint32_t index, const std::string &parameter)
{
    return [=] { return HsCallFunction(index, parameter); };
}

std::string ScheduleNow(const std::string &options = "-addSingleEvent", uint32_t ahead = 0)
{
    return options + "|" + kDay1 + "|" + std::to_string(kNow - kDue1 + ahead) + "|Orders|Print|myID|my|text";
}

TEST_F(OutcomeSweepTest, FiringSchedulingAndControl)
{
    auto poll = [this] {
        IdleAfter(3000);
        return NoAnswer();
    };
    auto alternateOff = [] {
        StandardEvents();
        Call(kVersion, "-alternatetriggermethodoff");
    };
    std::vector<Scenario> scenarios = {
        {"firing, start-script callback", 50, StandardEvents, poll, nullptr},
        {"firing, old host's callbacks", 14, StandardEvents, poll, nullptr},
        {"firing, automation", 49, alternateOff, poll, nullptr},
        {"firing, a file the host has not open", 14,
         [] {
             AddEvent(kNow, 0, "Gone|Print");
             AddEvent(kNow, 0, "Orders|Print");
         },
         poll, nullptr},
        {"scheduling that fires inside the call", 50, NothingDue, Calling(kScheduleEvent, ScheduleNow()),
         nullptr},
        {"scheduling for later", 14, StandardEvents,
         Calling(kScheduleEvent, ScheduleNow("-addSingleEvent", 60)), nullptr},
        {"scheduling while triggers are disabled", 50,
         [] {
             StandardEvents();
             Call(kControl, "-DisableLocalTriggers|abc");
         },
         Calling(kScheduleEvent, ScheduleNow()), nullptr},
        {"scheduling to fire after a restart", 50, NothingDue,
         Calling(kScheduleEvent, ScheduleNow("-addSingleEvent -triggerPastEventAfterRestart", 60)),
         [this] {
             HsShutdown();
             SetNow1904(kNow + 7200);
             ASSERT_EQ(HsStartup(50), 4);
             for (int i = 0; i < 4; i++)
                 IdleAfter(3000);
         }},
        {"enabling local triggers", 50,
         [] {
             StandardEvents();
             Call(kControl, "-DisableLocalTriggers|abc");
         },
         Calling(kControl, "-EnableLocalTriggers|abc"), nullptr},
        {"disabling local triggers", 50, StandardEvents, Calling(kControl, "-DisableLocalTriggers|abc"),
         nullptr},
        // The answer is that of the call made while the script starts; a
        // firing that started nothing stands as an error result.
        {"a script start that calls back", 50, StandardEvents,
         [this] {
             HsCallResult nested{"$$-1", false, false};
             HsSetStartHook([&](const HsScriptStart &) {
                 nested = HsCallFunction(kGetEventInfo, "-lastTriggered -getYourText");
             });
             IdleAfter(3000);
             HsSetStartHook(nullptr);
             return nested;
         },
         nullptr, true},
    };
    // A repeating event due now: its start moves it to the next occurrence.
    auto repeatingDue = [](int16_t) {
        return [] {
            NothingDue();
            Call(kVersion, "-usealternatetriggermethod");
            Call(kScheduleEvent, ScheduleNow("-addRepeatingEvent -every 1h"));
        };
    };
    scenarios.push_back({"firing a repeating event", 50, repeatingDue(50), poll, nullptr});
    scenarios.push_back({"scheduling a repeating event that fires inside the call", 50, NothingDue,
                         Calling(kScheduleEvent, ScheduleNow("-addRepeatingEvent -every 1h", 0)), nullptr});
    scenarios.push_back({"firing a repeating event of a file not open", 14,
                         [] {
                             NothingDue();
                             Call(kScheduleEvent, "-addRepeatingEvent -every 1h|" + std::string(kDay1) + "|" +
                                                      std::to_string(kNow - kDue1) + "|Gone|Print|");
                         },
                         poll, nullptr});
    for (const char *option :
         {"-deleteByID|4243", "-deleteLastTriggered", "-deleteAllTriggeredEvents", "-deleteAllEvents"})
        scenarios.push_back(
            {std::string("deleting ") + option, 50, StandardEvents, Calling(kDeleteEvent, option), nullptr});
    for (const char *option : {"", "-getversionnumber", "-showplugininfo", "-usealternatetriggermethod",
                               "-alternatetriggermethodoff", "-returnSpeedTest_ElapsedTicks"})
        scenarios.push_back(
            {std::string("version ") + option, 50, StandardEvents, Calling(kVersion, option), nullptr});
    for (const char *option :
         {"-getTriggerCount", "-getActiveTriggerCount", "-FirstTriggerSec", "-listEventIDs"})
        scenarios.push_back({std::string("event info ") + option, 50, StandardEvents,
                             Calling(kGetEventInfo, option), nullptr});
    for (const char *selection : {"-lastTriggered", "-byEventID", "-firstSilentEvent"})
        for (const char *answer : {"-getYourID", "-getYourText", "-getRouserEventID", "-getDueTimestamp",
                                   "-getState", "-getFileName", "-getScriptName", "-getEvery"})
            for (const char *deletion : {"", " -deletethisevent"}) {
                std::string parameter = std::string(selection) + " " + answer + deletion + "|4243";
                scenarios.push_back({"event info " + parameter, 50, StandardEvents,
                                     Calling(kGetEventInfo, parameter), nullptr});
            }
    SweepAll(scenarios);
}

TEST_F(OutcomeSweepTest, RemoteEvents)
{
    const std::string to = ToProbe() + "|127.0.0.1|";
    std::vector<Scenario> scenarios = {
        {"sending an event", 50, StandardEvents,
         Calling(kSendRemoteEvent, to + "key|Orders|Print|id|your|text"), nullptr},
        {"sending a silent event", 50, StandardEvents,
         Calling(kSendRemoteEvent, "-silentEvent " + to + "key|||id|t"), nullptr},
        {"starting a listener", 50, StandardEvents, Calling(kStartListener, "-portnumber 0|unused|newkey"),
         nullptr},
        {"stopping a listener", 50,
         [this] {
             StandardEvents();
             Listen("key");
         },
         Calling(kStopListener, ""), nullptr},
        // A datagram that cannot be stored is lost, as one that never came.
        {"a received event that fires", 50,
         [this] {
             NothingDue();
             Listen("key");
         },
         [this] {
             Deliver(Datagram("SCTR", "key", "Orders|Print|rid|remote text"));
             IdleAfter(3000); // stores it
             IdleAfter(3000); // fires it
             return NoAnswer();
         },
         nullptr},
    };
    SweepAll(scenarios, 2);
}

TEST_F(OutcomeSweepTest, TcpRequests)
{
    REQUIRE_SERVERS();
    // The servers answer in real time; nothing here needs polls.
    QuOverrideMilliseconds(nullptr);
    auto request = [](const std::string &options, const std::string &path) {
        return Calling(kSendRemoteEvent, "-tcprequest -portnumber=" + std::to_string(Servers().scripted) +
                                             " -timeoutsecs=20 " + options + "|127.0.0.1|GET " + path +
                                             " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    };
    auto none = [] {};
    SweepAll({
        {"a chunked answer", 50, none, request("", "/chunked/basic"), none},
        {"a chunked answer cut by the close-after text", 50, none,
         request("-closeportafter=\"</html>\"", "/close-after/chunked"), none},
    });
}

} // namespace
