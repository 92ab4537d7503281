// The write-back unit over the real driver and the simulated instrument: what reaches the
// instrument, and what each cell shows and how it is marked, through faults.
#include "writebackrig.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

std::string Write(const std::string& key, const std::string& value)
{
    return "\x02" + key + "=" + value + "\r\n";
}

std::string Read(const std::string& key)
{
    return "\x02" + key + "?\r\n";
}

QString Q(const std::string& text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

class WriteBack : public ::testing::Test
{
protected:
    WriteBackRig Rig;

    void ConnectAndSettle()
    {
        ASSERT_TRUE(Rig.Connect());
        ASSERT_TRUE(Rig.Settle());
        Rig.Sim->ClearTranscript();
    }
    void EditAndSave(const std::string& key, const std::string& text)
    {
        Rig.Edit(key, Q(text));
        Rig.Commit();
        ASSERT_TRUE(Rig.Settle());
    }
};

TEST_F(WriteBack, NormalEditIsWrittenOnceReadBackOnceAndConfirmed)
{
    ConnectAndSettle();
    EditAndSave("S2CAL1", "-1.2500E-03");
    EXPECT_EQ(Rig.Sim->Commands(),
              (std::vector<std::string>{Write("S2CAL1", "-1.2500E-03"), Read("S2CAL1")}));
    EXPECT_EQ(Rig.Shown("S2CAL1").Text, "-1.2500E-03");
    EXPECT_EQ(Rig.Shown("S2CAL1").Mark, TCellMark::None);
    EXPECT_EQ(Rig.State("S2CAL1").Stage, TEditStage::Confirmed);
    EXPECT_EQ(Rig.Unit.NotConfirmedCount(), 0);
}

// After a second Connect whose read of a setting went unanswered, the cell is marked and a
// commit writes nothing: its old value is no longer known to be the instrument's.
TEST_F(WriteBack, UnansweredReadAfterASecondConnectIsMarkedAndNeverWritten)
{
    ConnectAndSettle();
    Rig.Sim->SetSilentReads("S3CFRQ");
    ConnectAndSettle();
    EXPECT_EQ(Rig.Shown("S3CFRQ").Text, "");
    EXPECT_EQ(Rig.Shown("S3CFRQ").Mark, TCellMark::NoAnswer);
    EXPECT_TRUE(Rig.Shown("S3CFRQ").Tip.startsWith("No answer"));
    EXPECT_FALSE(Rig.State("S3CFRQ").Instrument.has_value());
    Rig.Commit();
    ASSERT_TRUE(Rig.Settle());
    EXPECT_TRUE(Rig.Writes().empty());

    // Once the user types a value it is theirs, and goes out.
    EditAndSave("S3CFRQ", "4000");
    EXPECT_EQ(Rig.Writes(), std::vector<std::string>{Write("S3CFRQ", "4000")});
    EXPECT_EQ(Rig.Sim->Setting("S3CFRQ"), "4000");
}

// The write of an edit is dropped; the user then types the instrument's own value back: the
// edit is withdrawn and never sent again.
TEST_F(WriteBack, ValueTakenBackIsNeverSent)
{
    ConnectAndSettle();
    const std::string own = Rig.Sim->Setting("S0NAM");
    Rig.Sim->SetSilentWrites("S0NAM");
    EditAndSave("S0NAM", "Dropped 1");
    EXPECT_EQ(Rig.Shown("S0NAM").Text, "Dropped 1");
    EXPECT_EQ(Rig.Shown("S0NAM").Mark, TCellMark::Unconfirmed);
    EXPECT_EQ(Rig.State("S0NAM").Stage, TEditStage::Unanswered);

    Rig.Sim->ClearFaults();
    Rig.Sim->ClearTranscript();
    EditAndSave("S0NAM", own);
    EXPECT_TRUE(Rig.Writes().empty());
    EXPECT_EQ(Rig.Record("S0NAM").WriteNeeded.load(), 0);
    EXPECT_EQ(Rig.Shown("S0NAM").Mark, TCellMark::None);
    EXPECT_EQ(Rig.Sim->Setting("S0NAM"), own);
}

// Neither the write nor its read-back was answered: taking the edit back leaves the cell
// showing the value last reported, marked as not answered.
TEST_F(WriteBack, TakingBackAnEditWhoseReadBackWentUnansweredKeepsTheNoAnswerMark)
{
    ConnectAndSettle();
    const std::string own = Rig.Sim->Setting("S0NAM");
    Rig.Sim->SetSilentKey("S0NAM");
    EditAndSave("S0NAM", "Dropped 1");
    Rig.Sim->ClearFaults();
    Rig.Sim->ClearTranscript();
    EditAndSave("S0NAM", own);
    EXPECT_TRUE(Rig.Writes().empty());
    EXPECT_EQ(Rig.Shown("S0NAM").Mark, TCellMark::NoAnswer);
    EXPECT_TRUE(Rig.Shown("S0NAM").Tip.contains(Q("\"" + own + "\"")));
}

// A newer edit typed while the older one is being written stays in the cell over the
// read-back of the older one, and goes out with the next commit.
TEST_F(WriteBack, EditDuringTheExchangeReplacesTheOneBeingWritten)
{
    ConnectAndSettle();
    Rig.Sim->SetReplyDelay(100ms);
    Rig.Edit("S1CFRQ", "1111");
    Rig.Edit("S1CAL0", "0.5");
    Rig.Commit();
    ASSERT_TRUE(Rig.TickUntilWriting());
    ASSERT_TRUE(Rig.Sim->WaitForCommands(1, 5s)); // the first write is on the wire
    Rig.Edit("S1CFRQ", "2222");
    Rig.Edit("S1CAL0", Q(Rig.Sim->Setting("S1CAL0"))); // taken back before it went out
    ASSERT_TRUE(Rig.Settle());
    EXPECT_EQ(Rig.Writes(), std::vector<std::string>{Write("S1CFRQ", "1111")});
    EXPECT_EQ(Rig.Shown("S1CFRQ").Text, "2222");
    EXPECT_EQ(Rig.Shown("S1CFRQ").Mark, TCellMark::Unconfirmed);
    EXPECT_EQ(Rig.Shown("S1CAL0").Mark, TCellMark::None);

    Rig.Sim->ClearFaults();
    Rig.Sim->ClearTranscript();
    Rig.Commit();
    ASSERT_TRUE(Rig.Settle());
    EXPECT_EQ(Rig.Writes(), std::vector<std::string>{Write("S1CFRQ", "2222")});
    EXPECT_EQ(Rig.Shown("S1CFRQ").Mark, TCellMark::None);
    EXPECT_EQ(Rig.Sim->Setting("S1CFRQ"), "2222");
}

// The instrument applies a write whose answer is lost: the read-back confirms it, and later
// commits leave it alone.
TEST_F(WriteBack, ReadBackConfirmsAWriteWhoseAnswerWasLost)
{
    ConnectAndSettle();
    Rig.Sim->SetLostWriteAnswer("S5CAL2");
    EditAndSave("S5CAL2", "3.5");
    EXPECT_EQ(Rig.Shown("S5CAL2").Mark, TCellMark::None);
    EXPECT_EQ(Rig.Record("S5CAL2").WriteNeeded.load(), 0);
    Rig.Sim->ClearTranscript();
    Rig.Commit();
    ASSERT_TRUE(Rig.Settle());
    EXPECT_TRUE(Rig.Sim->Commands().empty());
}

// The instrument answers a write but keeps its own value: the cell shows that value, marked,
// with both values in its tooltip; the next edit clears the mark; nothing is written again.
TEST_F(WriteBack, RefusedWriteIsMarkedNotTaken)
{
    ConnectAndSettle();
    const std::string kept = Rig.Sim->Setting("S4CAL0");
    Rig.Sim->SetRejectedWrite("S4CAL0");
    EditAndSave("S4CAL0", "9.75");
    EXPECT_EQ(Rig.Shown("S4CAL0").Text, Q(kept));
    EXPECT_EQ(Rig.Shown("S4CAL0").Mark, TCellMark::NotTaken);
    EXPECT_TRUE(Rig.Shown("S4CAL0").Tip.contains(Q("\"" + kept + "\"")));
    EXPECT_TRUE(Rig.Shown("S4CAL0").Tip.contains("\"9.75\""));
    EXPECT_EQ(Rig.Unit.NotConfirmedCount(), 1);

    Rig.Sim->ClearTranscript();
    Rig.Commit();
    ASSERT_TRUE(Rig.Settle());
    ConnectAndSettle();
    EXPECT_TRUE(Rig.Writes().empty());
    EXPECT_EQ(Rig.Shown("S4CAL0").Mark, TCellMark::NotTaken); // until the next edit
    Rig.Edit("S4CAL0", "9.5");
    EXPECT_EQ(Rig.Shown("S4CAL0").Mark, TCellMark::Unconfirmed);
}

// An unsafe text replaces an earlier edit whose write went unanswered: neither goes out.
TEST_F(WriteBack, UnsafeTextReplacesAnUnansweredEdit)
{
    ConnectAndSettle();
    Rig.Sim->SetSilentKey("S0NAM");
    EditAndSave("S0NAM", "First");
    Rig.Sim->ClearFaults();
    Rig.Sim->ClearTranscript();
    EditAndSave("S0NAM", "two\tfields");
    EXPECT_TRUE(Rig.Writes().empty());
    EXPECT_EQ(Rig.Shown("S0NAM").Mark, TCellMark::Unsafe);
    EXPECT_TRUE(Rig.Shown("S0NAM").Tip.startsWith("Not sent"));
    EXPECT_EQ(Rig.Record("S0NAM").WriteNeeded.load(), 0);
}

// The adapter goes while a commit waits for the timer: the edit stays, marked, and the next
// Save after Connect writes it.
TEST_F(WriteBack, CommitsPendingAtAnUnplugWaitForTheNextConnect)
{
    ConnectAndSettle();
    Rig.Edit("S7NAM", "Kept");
    Rig.Commit();
    Rig.Sim->HangUp();
    ASSERT_TRUE(Rig.Settle());
    EXPECT_FALSE(Rig.Unit.Connected());
    EXPECT_EQ(Rig.Shown("S7NAM").Text, "Kept");
    EXPECT_EQ(Rig.Shown("S7NAM").Mark, TCellMark::Unconfirmed);
    EditAndSave("S8NAM", "While away"); // kept too, though nothing can be sent now

    Rig.Replug();
    ConnectAndSettle();
    for (const auto& [key, text] : {std::pair{"S7NAM", "Kept"}, {"S8NAM", "While away"}}) {
        EXPECT_EQ(Rig.Shown(key).Text, text);
        EXPECT_EQ(Rig.Shown(key).Mark, TCellMark::Unconfirmed);
    }
    EXPECT_TRUE(Rig.Writes().empty());
    Rig.Commit();
    ASSERT_TRUE(Rig.Settle());
    EXPECT_EQ(Rig.Writes(),
              (std::vector<std::string>{Write("S7NAM", "Kept"), Write("S8NAM", "While away")}));
    EXPECT_EQ(Rig.Shown("S7NAM").Mark, TCellMark::None);
}

// A read-back that goes unanswered leaves the edit marked, to be written again.
TEST_F(WriteBack, UnansweredReadBackWritesTheEditAgain)
{
    ConnectAndSettle();
    Rig.Sim->SetSilentReads("TH1R0");
    EditAndSave("TH1R0", "1000");
    EXPECT_EQ(Rig.Shown("TH1R0").Mark, TCellMark::Unconfirmed);
    Rig.Sim->ClearFaults();
    Rig.Sim->ClearTranscript();
    Rig.Commit();
    ASSERT_TRUE(Rig.Settle());
    EXPECT_EQ(Rig.Sim->Commands(),
              (std::vector<std::string>{Write("TH1R0", "1000"), Read("TH1R0")}));
    EXPECT_EQ(Rig.Shown("TH1R0").Mark, TCellMark::None);
}

TEST_F(WriteBack, ConnectIsRefusedWhileACommitOrExchangeIsUnderWay)
{
    ConnectAndSettle();
    EXPECT_FALSE(Rig.Unit.ConnectRefused(true));
    Rig.Commit();
    EXPECT_TRUE(Rig.Unit.ConnectRefused(true));
    EXPECT_FALSE(Rig.Unit.ConnectRefused(false)); // table disabled: the commit is not the user's
    ASSERT_TRUE(Rig.Settle());
    Rig.Unit.CycleState =
        TCycleState::Writing; // between the write and the read-back, the driver idle
    EXPECT_TRUE(Rig.Unit.ConnectRefused(false));
    Rig.Unit.CycleState = TCycleState::Idle;
    Rig.Sim->SetReplyDelay(2ms);
    ASSERT_TRUE(Rig.Connect());
    EXPECT_TRUE(Rig.Unit.ConnectRefused(false)); // the initial read runs
    ASSERT_TRUE(Rig.Settle());
}

} // namespace
