#include "line/SipMedia.h"

#include <algorithm>

#include "line/Libre.h"

namespace {

constexpr int PayloadMulaw = 0;
constexpr int PayloadAlaw = 8;
// RTP ports come from this range, as most telephone systems expect.
constexpr uint16_t RtpPortMin = 10000;
constexpr uint16_t RtpPortMax = 20000;
// Frames held before playing (the delay that absorbs the network's jitter)
// and at most (what a stalled machine catches up on without a loss).
constexpr uint32_t JitterMin = 3;
constexpr uint32_t JitterMax = 250;

// The first G.711 format both ends support, in the far end's order.
const sdp_format* chosenFormat(const sdp_media* media)
{
    le* element;
    LIST_FOREACH(sdp_media_format_lst(media, false), element)
    {
        const auto* format = static_cast<const sdp_format*>(element->data);
        if (format->sup &&
            (!str_casecmp(format->name, "PCMU") || !str_casecmp(format->name, "PCMA")))
            return format;
    }
    return nullptr;
}

} // namespace

SipMedia::~SipMedia()
{
    mem_deref(m_rtp);
    mem_deref(m_jitter);
    mem_deref(m_packet);
    mem_deref(m_sdp);
}

int SipMedia::open(std::unique_ptr<SipMedia>* media, const sa& local, Counts* counts)
{
    std::unique_ptr<SipMedia> opened(new SipMedia);
    SipMedia& m = *opened;
    m.m_counts = counts;
    int err = rtp_listen(&m.m_rtp, IPPROTO_UDP, &local, RtpPortMin, RtpPortMax, false,
                         &SipMedia::receive, nullptr, &m);
    err = err ? err : jbuf_alloc(&m.m_jitter, JitterMin, JitterMax);
    err = err ? err : sdp_session_alloc(&m.m_sdp, &local);
    if (!err)
        err = sdp_media_add(&m.m_media, m.m_sdp, sdp_media_audio, sa_port(rtp_local(m.m_rtp)),
                            sdp_proto_rtpavp);
    if (!err) {
        err |= sdp_format_add(nullptr, m.m_media, false, "0", "PCMU", 8000, 1, nullptr, nullptr,
                              nullptr, false, nullptr);
        err |= sdp_format_add(nullptr, m.m_media, false, "8", "PCMA", 8000, 1, nullptr, nullptr,
                              nullptr, false, nullptr);
        // Telephone events are offered so that a far end sends its digits as
        // events, which stay out of the sound, rather than as tones in it.
        err |= sdp_format_add(nullptr, m.m_media, false, "101", telev_rtpfmt, 8000, 1, nullptr,
                              nullptr, nullptr, false, "0-15");
        err |= sdp_media_set_lattr(m.m_media, true, sdp_attr_ptime, "%d", 20);
    }
    m.m_packet = mbuf_alloc(RTP_HEADER_SIZE + FrameSamples);
    if (!err && !m.m_packet)
        err = ENOMEM;
    if (!err)
        *media = std::move(opened);
    return err;
}

int SipMedia::offer(mbuf** description)
{
    return sdp_encode(description, m_sdp, true);
}

int SipMedia::answer(mbuf* offer, mbuf** description)
{
    int err = sdp_decode(m_sdp, offer, true);
    if (!err && !chosenFormat(m_media))
        err = EPROTONOSUPPORT;
    if (err)
        return err;
    takeRemote();
    return sdp_encode(description, m_sdp, false);
}

int SipMedia::accept(mbuf* answer)
{
    const int err = sdp_decode(m_sdp, answer, false);
    if (!err)
        takeRemote();
    return err;
}

void SipMedia::takeRemote()
{
    const sdp_format* format = chosenFormat(m_media);
    const sa* remote = sdp_media_raddr(m_media);
    // A far end on hold or without a common codec is sent nothing.
    if (!format || !sa_isset(remote, SA_ALL)) {
        m_remote.reset();
        return;
    }
    m_remote = std::make_unique<sa>(*remote);
    m_payloadType = format->pt;
}

void SipMedia::receive(const sa*, const rtp_header* header, mbuf* payload, void* arg)
{
    auto* media = static_cast<SipMedia*>(arg);
    // Only G.711 is sound; telephone events and comfort noise are dropped
    // here, so a digit the caller presses never reaches the recording.
    if (header->pt != PayloadMulaw && header->pt != PayloadAlaw)
        return;
    ++media->m_counts->received;
    const int err = jbuf_put(media->m_jitter, header, payload);
    if (err == EALREADY) {
        --media->m_counts->received;
    } else if (err) {
        ++media->m_counts->dropped;
    } else if (media->m_buffered == JitterMax) {
        // A full buffer makes room by letting its oldest frame go.
        ++media->m_counts->dropped;
    } else {
        ++media->m_buffered;
    }
}

void SipMedia::exchange(const int16_t* voice, int16_t* far, bool send)
{
    while (m_decoded.size() < size_t(FrameSamples)) {
        rtp_header header{};
        void* frame = nullptr;
        if (jbuf_get(m_jitter, &header, &frame))
            break;
        --m_buffered;
        ++m_counts->played;
        auto* payload = static_cast<mbuf*>(frame);
        const uint8_t* bytes = mbuf_buf(payload);
        for (size_t i = 0; i < mbuf_get_left(payload); ++i)
            m_decoded.push_back(header.pt == PayloadAlaw ? g711_alaw2pcm(bytes[i])
                                                         : g711_ulaw2pcm(bytes[i]));
        mem_deref(frame);
    }
    const size_t ready = std::min(m_decoded.size(), size_t(FrameSamples));
    std::copy_n(m_decoded.begin(), ready, far);
    std::fill(far + ready, far + FrameSamples, int16_t(0));
    m_decoded.erase(m_decoded.begin(), m_decoded.begin() + ptrdiff_t(ready));

    if (!send || !m_remote)
        return;
    // rtp_send writes the header into the room left before the payload.
    m_packet->pos = m_packet->end = RTP_HEADER_SIZE;
    for (int i = 0; i < FrameSamples; ++i)
        mbuf_write_u8(m_packet, m_payloadType == PayloadAlaw ? g711_pcm2alaw(voice[i])
                                                             : g711_pcm2ulaw(voice[i]));
    mbuf_set_pos(m_packet, RTP_HEADER_SIZE);
    rtp_send(m_rtp, m_remote.get(), false, m_marker, uint8_t(m_payloadType), m_timestamp, m_packet);
    m_timestamp += FrameSamples;
    m_marker = false;
}
