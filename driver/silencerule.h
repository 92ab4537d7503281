#pragma once

// When an exchange gives up on an instrument that does not answer. A silent instrument
// (switched off, cable loose) must cost the user at most one reply limit, not one per request;
// a single setting that does not answer among others that do must not keep them from being read.
class TSilenceRule
{
public:
    // A new exchange; endAtFirst ends it at its first unanswered request whatever came before
    // (the runs without a window stop there).
    void Start(bool endAtFirst);
    void Answered();
    // A request went unanswered; true when the exchange ends here.
    bool Unanswered();

    static constexpr int MaxUnansweredInRow = 2;

private:
    bool EndAtFirst = false;
    int Answers = 0;
    int UnansweredInRow = 0;
};
