// Seeded random sequences of user actions and instrument faults against the write-back unit,
// the real driver and the simulated instrument, checked after each step against a reference
// model of what the user committed. A failure names its seed; DEVCONFIG_MODEL_SEED replays
// one seed, DEVCONFIG_MODEL_SEQUENCES sets how many sequences run.
#include "driver/valuecheck.h"
#include "writebackrig.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <set>
#include <sstream>

namespace {

using namespace std::chrono_literals;

constexpr uint32_t ReplyLimitMs = 60;
constexpr int StepsPerSequence = 30;
constexpr int DefaultSequences = 40;

// A few settings of both tables, so that actions often meet on the same cell.
const std::vector<std::string> Keys{"S0NAM", "S3CFRQ", "S5CAL2", "S19THSEL", "TH0NAM", "TH2STD"};

QString Q(const std::string& text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

class Sequence
{
public:
    explicit Sequence(uint32_t seed) : Random(seed)
    {
        Rig.OnTick = [this](const TWriteBack::TickOutcome& outcome) {
            if (outcome.WritesStarted)
                CheckWritePass();
        };
    }

    // Runs the sequence; returns the log of the steps up to the first broken rule, if any.
    std::string Run()
    {
        Step("connect", [this] { return Connect(); });
        for (int i = 0; i < StepsPerSequence && Failure.empty(); ++i)
            RandomStep();
        Step("end", [this] {
            Rig.Sim->ClearFaults();
            if (Unplugged)
                Replug();
            return Connect();
        });
        return Failure.empty() ? std::string() : Log.str() + Failure;
    }

private:
    struct Edit
    {
        std::optional<QString> Latest;   // committed by the user, not yet seen confirmed
        std::optional<QString> Previous; // the edit before it
        // Latest is the instrument's own value: taking an edit back, which may leave no trace.
        bool TakesBack = false;
    };

    WriteBackRig Rig{ReplyLimitMs};
    std::mt19937 Random;
    std::map<std::string, Edit> Edits;
    std::multiset<std::pair<std::string, std::string>> Handed;
    size_t WireSeen = 0;
    bool Unplugged = false;
    int Counter = 0;
    std::ostringstream Log;
    std::string Failure;

    int Pick(int count) { return std::uniform_int_distribution<int>(0, count - 1)(Random); }
    const std::string& AnyKey() { return Keys[static_cast<size_t>(Pick(int(Keys.size())))]; }

    void RandomStep()
    {
        const std::string& key = AnyKey();
        switch (Pick(16)) {
        case 0:
        case 1:
        case 2:
            return Step("edit " + key + " new", [&] { return UserEdit(key, NewText()); });
        case 3:
            return Step("edit " + key + " to the instrument's value",
                        [&] { return UserEdit(key, Q(Rig.Sim->Setting(key))); });
        case 4:
            return Step("edit " + key + " to the previous edit",
                        [&] { return UserEdit(key, Edits[key].Previous.value_or(NewText())); });
        case 5:
            return Step("edit " + key + " empty", [&] { return UserEdit(key, QString()); });
        case 6:
            return Step("edit " + key + " unsafe",
                        [&] { return UserEdit(key, QStringLiteral("two\tfields")); });
        case 7:
        case 8:
            return Step("commit", [this] { return Rig.Commit(), true; });
        case 9:
            return Step("save and wait", [this] { return Rig.Commit(), Settle(); });
        case 10:
            return Step("connect", [this] {
                if (Unplugged)
                    Replug();
                return Connect();
            });
        case 11:
            return Step("unplug", [this] { return Rig.Sim->HangUp(), Unplugged = true; });
        case 12:
            return Step("wait", [this] { return Settle(); });
        default:
            return Step("fault on " + key, [&] { return Fault(key), true; });
        }
    }

    template <typename Action> void Step(const std::string& name, Action action)
    {
        if (!Failure.empty())
            return;
        Log << name << "\n";
        if (!action())
            Fail("the exchange did not end");
        // Some steps leave the exchange running, so that the next action meets it.
        for (int ticks = Pick(4); ticks > 0 && Failure.empty(); --ticks) {
            Rig.Tick();
            std::this_thread::sleep_for(std::chrono::milliseconds(Pick(20)));
        }
    }

    QString NewText() { return QStringLiteral("v%1").arg(++Counter); }

    bool UserEdit(const std::string& key, const QString& text)
    {
        Edit& edit = Edits[key];
        if (edit.Latest)
            edit.Previous = edit.Latest;
        edit.Latest = text;
        edit.TakesBack = text == Q(Rig.Sim->Setting(key));
        Rig.Edit(key, text);
        return true;
    }

    void Fault(const std::string& key)
    {
        TInstrumentSim& sim = *Rig.Sim;
        sim.ClearFaults();
        switch (Pick(7)) {
        case 0:
            return sim.SetSilentReads(key);
        case 1:
            return sim.SetSilentWrites(key);
        case 2:
            return sim.SetLostWriteAnswer(key);
        case 3:
            return sim.SetRejectedWrite(key);
        case 4:
            return sim.SetLateReply(key, std::chrono::milliseconds(2 * ReplyLimitMs));
        case 5:
            return sim.SetSilentKey(key);
        default:
            return; // faults cleared
        }
    }

    bool Connect()
    {
        if (!Rig.Connect())
            return true; // refused: a commit or exchange is under way
        return Settle();
    }

    void Replug()
    {
        CheckWire();
        Rig.Replug();
        WireSeen = 0;
        Unplugged = false;
    }

    bool Settle()
    {
        if (!Rig.Settle(30s))
            return false;
        CheckWire();
        CheckCells();
        return true;
    }

    void Fail(const std::string& what)
    {
        if (Failure.empty())
            Failure = "broken: " + what;
    }

    // Every write handed to the driver carries the text the user last committed in that cell,
    // and only a cell with an edit is written.
    void CheckWritePass()
    {
        for (const BoundCell& cell : AllCells()) {
            const dev_opt& record = Rig.Record(cell.Key);
            const bool handed = Rig.Unit.StateOf(cell.Slot).Stage == TEditStage::AwaitingAnswer;
            if (dev_opt::IsRaised(record.WriteNeeded) && !handed)
                Fail(cell.Key + " is written without being marked for writing");
            if (!handed)
                continue;
            const auto& latest = Edits[cell.Key].Latest;
            if (!latest)
                Fail(cell.Key + " is written, but the user did not edit it");
            else if (latest->toLatin1().toStdString() != record.ValueToWrite)
                Fail(cell.Key + " is written as \"" + record.ValueToWrite +
                     "\", but the user last committed \"" + latest->toStdString() + "\"");
            if (UnsafeValueReason(cell.Key, record.ValueToWrite))
                Fail(cell.Key + " is written with an unsafe value");
            Handed.insert({cell.Key, record.ValueToWrite});
        }
    }

    // Nothing reaches the wire that a write pass did not hand over.
    void CheckWire()
    {
        const std::vector<std::string> commands = Rig.Sim->Commands();
        for (; WireSeen < commands.size(); ++WireSeen) {
            const std::string& command = commands[WireSeen];
            const size_t equals = command.find('=');
            if (equals == std::string::npos)
                continue;
            const std::string key = command.substr(1, equals - 1);
            const std::string value = command.substr(equals + 1, command.size() - equals - 3);
            const auto it = Handed.find({key, value});
            if (it == Handed.end())
                Fail("\"" + key + "=" + value + "\" went out without being handed over");
            else
                Handed.erase(it);
        }
        Handed.clear(); // the driver is idle: what was not sent is not sent any more
    }

    // No unmarked cell shows anything but the instrument's value, and no edit disappears
    // without being confirmed or marked.
    void CheckCells()
    {
        for (const BoundCell& cell : AllCells()) {
            const MemoryCells::Cell& shown = Rig.Shown(cell.Key);
            const std::string instrument = Rig.Sim->Setting(cell.Key);
            if (shown.Mark == TCellMark::None && shown.Text != Q(instrument))
                Fail(cell.Key + " shows \"" + shown.Text.toStdString() +
                     "\" unmarked, but the instrument holds \"" + instrument + "\"");
            auto& latest = Edits[cell.Key].Latest;
            if (!latest)
                continue;
            // A cell marked as not answered holds no pending edit (an edit would be marked as
            // unconfirmed): its edit was confirmed before a read that ended unanswered, which
            // happens to every read after the first once a silent first setting ends the read.
            if (shown.Text != *latest && shown.Mark != TCellMark::NotTaken &&
                shown.Mark != TCellMark::NoAnswer && !Edits[cell.Key].TakesBack)
                Fail("the edit \"" + latest->toStdString() + "\" of " + cell.Key +
                     " disappeared: the cell shows \"" + shown.Text.toStdString() + "\"");
            if (shown.Mark == TCellMark::None || shown.Mark == TCellMark::NotTaken ||
                shown.Mark == TCellMark::NoAnswer)
                latest.reset(); // settled: confirmed, refused or taken back
        }
    }
};

int EnvNumber(const char* name, int fallback)
{
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? std::atoi(text) : fallback;
}

TEST(WriteBackModel, RandomSequencesKeepFaithWithTheUser)
{
    const int only = EnvNumber("DEVCONFIG_MODEL_SEED", -1);
    const int count = only >= 0 ? 1 : EnvNumber("DEVCONFIG_MODEL_SEQUENCES", DefaultSequences);
    const uint32_t first = only >= 0 ? uint32_t(only) : 1;
    const auto start = std::chrono::steady_clock::now();
    for (uint32_t seed = first; seed < first + uint32_t(count); ++seed) {
        const std::string failure = Sequence(seed).Run();
        ASSERT_TRUE(failure.empty())
            << "seed " << seed << " (replay: DEVCONFIG_MODEL_SEED=" << seed << ")\n"
            << failure;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("model sequences %d in %.1f s: %.2f sequences/s\n", count, seconds,
                count / seconds);
}

} // namespace
