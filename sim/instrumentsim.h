#pragma once

#include "sim/instrumentsettings.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A simulated instrument on a pseudo-terminal. The client opens SlavePath() like a serial
// device; a thread of the simulator answers on the master side: 0x02, key, "?" CR LF reads a
// setting (reply: value CR LF), 0x02, key, "=", value, CR LF writes one (reply: "OK" CR LF),
// and an unknown key is answered with "Undefined" CR LF. Commands are served one at a time.
// Faults can be switched on and off while it serves; every received command is kept in a
// transcript. All public operations are thread-safe.
class TInstrumentSim
{
public:
    // The wire rate of 115200 baud with 8N1 framing: ten bit times per byte.
    static constexpr int64_t WireBytesPerSecond = 11520;
    static constexpr uint8_t LeadByte = 0x02;

    // Opens the pseudo-terminal and starts serving. Throws std::system_error on failure.
    TInstrumentSim();
    // Stops serving promptly, even in the middle of a delayed or paced reply.
    ~TInstrumentSim();
    TInstrumentSim(const TInstrumentSim&) = delete;
    TInstrumentSim& operator=(const TInstrumentSim&) = delete;

    // The device path for the client, e.g. "/dev/pts/3".
    const std::string& SlavePath() const { return SlaveName; }

    // Settings. Setting() gives "" for an unknown key; SetSetting() refuses unknown keys.
    static const std::vector<std::string>& Keys() { return TInstrumentSettings::Keys(); }
    bool HasSetting(const std::string& key) const;
    std::string Setting(const std::string& key) const;
    bool SetSetting(const std::string& key, const std::string& value);

    // Transcript: the exact bytes of each command received, lead byte to LF inclusive. Bytes
    // outside a command (before a lead byte) are not part of it.
    std::string Transcript() const;
    std::vector<std::string> Commands() const;
    // Commands received since construction or the last ClearTranscript().
    std::size_t CommandCount() const;
    void ClearTranscript();
    // Waits until CommandCount() >= n; false if the time-out passed first.
    bool WaitForCommands(std::size_t n, std::chrono::milliseconds timeout);

    // Faults. A key given as "" switches the fault off; ClearFaults() switches all off.
    // Pause before every reply.
    void SetReplyDelay(std::chrono::milliseconds delay);
    // Commands on this key are never answered, and writes to it are not stored.
    void SetSilentKey(const std::string& key);
    // Reads of this key are never answered; writes to it are stored and answered.
    void SetSilentReads(const std::string& key);
    // Writes to this key are dropped: neither stored nor answered. Reads are answered.
    void SetSilentWrites(const std::string& key);
    // Writes to this key are stored, but their answer never goes out.
    void SetLostWriteAnswer(const std::string& key);
    // Replies to this key go out only after this extra delay; later commands wait behind it.
    void SetLateReply(const std::string& key, std::chrono::milliseconds delay);
    // These bytes go out before every reply line.
    void SetJunkBeforeReply(const std::string& junk);
    // Replies to this key carry OverlongText(length) before their CR LF instead of the value.
    void SetOverlongReply(const std::string& key, std::size_t length);
    // Writes to this key keep the old value and are answered with "ERR" CR LF.
    void SetRejectedWrite(const std::string& key);
    // Replies to this key carry a NUL byte after the first character of their text.
    void SetNulInReply(const std::string& key);
    // Takes commands and sends replies at the wire rate (WireBytesPerSecond each way). Each
    // reply byte goes out when it is due, to within microseconds: the serving thread watches
    // the clock for the last stretch before each one.
    void SetPaced(bool paced);
    // With pacing: hands received bytes over at most once per frame, as a USB adapter does with
    // its latency timer (1 ms for an FTDI chip in low-latency mode); 0 hands each byte over as
    // it is due. Bytes are never handed over earlier than the wire rate allows.
    void SetDeliveryFrame(std::chrono::microseconds frame);
    // With pacing: hands each reply's bytes over as an FTDI chip does (TFtdiHoldBack): held
    // until 62 have come, the latency timer runs out, or, with eventChar, its LF arrives.
    // A latency of 0 hands each byte over as it is due.
    void SetFtdiHoldBack(std::chrono::microseconds latency, bool eventChar);
    // Sends every reply in writes of at most bytesPerWrite bytes with a pause between them;
    // 0 sends each reply in one write. Paced replies go out by their own schedule instead.
    void SetSplitReplies(std::size_t bytesPerWrite,
                         std::chrono::microseconds pause = std::chrono::microseconds(200));
    // Switched off (adapter plugged in, instrument without power): takes commands, answers none.
    void SetSwitchedOff(bool off);
    // Talks by itself, as a GPS receiver on the same kind of adapter does: sends TalkSentence
    // every `period` and answers no command. 0 stops it.
    void SetTalking(std::chrono::milliseconds period);
    // Sends one line at once, as noise at power-up might.
    void SendStrayLine(const std::string& text);
    void ClearFaults();

    // What a talking device sends.
    static constexpr const char* TalkSentence =
        "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47";

    // Closes the master and the simulator's own slave descriptor now: the client's reads then
    // fail or report end of file and poll() reports POLLHUP. Returns once the line is down.
    void HangUp();
    // Hangs up as soon as n more commands have been received, without answering the n-th;
    // 0 hangs up at once.
    void HangUpAfterCommands(std::size_t n);
    bool HungUp() const;

    // The text an over-long reply carries: 'a' to 'z' over and over, `length` characters.
    static std::string OverlongText(std::size_t length);

private:
    struct Faults
    {
        std::chrono::milliseconds ReplyDelay{0};
        std::string SilentKey;
        std::string SilentReadKey;
        std::string SilentWriteKey;
        std::string LostAnswerKey;
        std::string LateKey;
        std::chrono::milliseconds LateDelay{0};
        std::string Junk;
        std::string OverlongKey;
        std::size_t OverlongLength = 0;
        std::string RejectedKey;
        std::string NulKey;
        bool Paced = false;
        std::chrono::microseconds Frame{0};
        std::chrono::microseconds HoldLatency{0};
        bool HoldEventChar = false;
        std::size_t SplitBytes = 0;
        std::chrono::microseconds SplitPause{0};
        bool SwitchedOff = false;
        std::chrono::milliseconds TalkPeriod{0};
    };

    // One command without its lead byte, LF and trailing CR.
    struct Request
    {
        enum class Kind
        {
            Read,
            Write,
            Other,
        };
        Kind Type = Kind::Other;
        std::string Key;
        std::string Value;
    };

    static Request Parse(const std::string& text);
    void Serve();
    void ReceiveAvailable();
    void TakeByte(char byte, int64_t arrivalNs);
    void HandleCommand(const std::string& command, int64_t arrivalNs);
    std::string ReplyTo(const Request& request, const Faults& faults);
    bool SendReply(const std::string& reply, int64_t startNs, const Faults& faults);
    bool SendPaced(const std::string& reply, int64_t startNs, int64_t frameNs);
    bool SendHeld(const std::string& reply, int64_t startNs, const Faults& faults);
    bool SendSplit(const std::string& reply, const Faults& faults);
    bool WriteAll(const char* data, std::size_t size);
    bool SleepUntil(int64_t deadlineNs);
    bool Interrupted() const;
    void CloseLine();
    void Wake();
    int TalkIfDue();

    int Master = -1;
    int Slave = -1;
    int WakeFd = -1;
    std::string SlaveName;

    mutable std::mutex Lock;
    std::condition_variable Changed;
    TInstrumentSettings Settings;
    Faults Active;
    std::string TranscriptBytes;
    std::vector<std::string> CommandList;
    std::size_t HangUpCountdown = 0;
    bool LineDown = false;

    std::atomic<bool> Stopping{false};
    std::atomic<bool> HangUpRequested{false};

    // Serving thread only: the command being collected and the wire schedule.
    bool InCommand = false;
    std::string Pending;
    int64_t InBaseNs = 0;
    int64_t InBytes = 0;
    int64_t OutBaseNs = 0;
    int64_t OutBytes = 0;
    int64_t LastDeliveryNs = 0;
    int64_t NextTalkNs = 0;

    std::thread Server;
};
