#pragma once

#include <cstdint>
#include <memory>
#include <vector>

struct jbuf;
struct mbuf;
struct rtp_header;
struct rtp_sock;
struct sa;
struct sdp_media;
struct sdp_session;

// The sound of one call, on the SIP thread: its RTP socket, the SDP offer
// and answer (G.711 mu-law and A-law, RFC 4733 telephone events), the far
// end's packets through a jitter buffer, and the agent's voice out.
class SipMedia
{
public:
    static constexpr int FrameSamples = 160; // 20 ms at 8 kHz

    // Packets of the far end, for the frame-loss figure.
    struct Counts
    {
        uint64_t received = 0;
        uint64_t played = 0;
        // Dropped by the jitter buffer: arrived after their turn, or pushed
        // out by a full buffer.
        uint64_t dropped = 0;
    };

    ~SipMedia();
    SipMedia(const SipMedia&) = delete;
    SipMedia& operator=(const SipMedia&) = delete;

    // An RTP socket on the local address, counting into counts; an errno
    // value on failure.
    static int open(std::unique_ptr<SipMedia>* media, const sa& local, Counts* counts);

    // Our offer, or our answer to the far end's offer (the far end's
    // session then sets where the sound goes); an errno value on failure.
    int offer(mbuf** description);
    int answer(mbuf* offer, mbuf** description);
    int accept(mbuf* answer);

    // The next 20 ms of the far end's sound into far (silence where none
    // came); with send, the agent's voice goes to the far end.
    void exchange(const int16_t* voice, int16_t* far, bool send);

private:
    SipMedia() = default;
    static void receive(const sa* source, const rtp_header* header, mbuf* payload, void* arg);
    void takeRemote();

    struct rtp_sock* m_rtp = nullptr;
    sdp_session* m_sdp = nullptr;
    sdp_media* m_media = nullptr;
    jbuf* m_jitter = nullptr;
    mbuf* m_packet = nullptr;
    std::unique_ptr<sa> m_remote;
    int m_payloadType = -1;
    uint32_t m_timestamp = 0;
    bool m_marker = true;
    uint32_t m_buffered = 0;
    std::vector<int16_t> m_decoded;
    Counts* m_counts = nullptr;
};
