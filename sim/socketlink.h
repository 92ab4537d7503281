#pragma once

#include "serial/commsport.h"

#include <string>

// A scripted stand-in for the instrument: a socket pair whose one end the port takes over.
// Unlike a pseudo-terminal, bytes written to one end are readable at the other at once, so a
// test decides exactly which bytes the driver can see at each step.
class TSocketLink
{
public:
    explicit TSocketLink(TCommsPort& port);
    ~TSocketLink();
    TSocketLink(const TSocketLink&) = delete;
    TSocketLink& operator=(const TSocketLink&) = delete;

    void Feed(const std::string& bytes);
    // Everything the port has written so far and nobody has taken yet.
    std::string TakeSent();
    // Closes the instrument's end: the port sees a hang-up.
    void HangUp();

private:
    int Peer = -1;
};
