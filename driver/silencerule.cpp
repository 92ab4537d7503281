#include "driver/silencerule.h"

void TSilenceRule::Start(bool endAtFirst)
{
    EndAtFirst = endAtFirst;
    Answers = 0;
    UnansweredInRow = 0;
}

void TSilenceRule::Answered()
{
    ++Answers;
    UnansweredInRow = 0;
}

// Nothing has answered yet: the instrument is not listening at all. Once it has answered,
// one silent setting is its own, two in a row mean it has gone quiet.
bool TSilenceRule::Unanswered()
{
    ++UnansweredInRow;
    return EndAtFirst || Answers == 0 || UnansweredInRow >= MaxUnansweredInRow;
}
