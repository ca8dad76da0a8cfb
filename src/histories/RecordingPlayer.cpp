#include "histories/RecordingPlayer.h"

#include "foundation/HostUtils.h"
#include "platform/OrvelMedia.h"

RecordingPlayer::RecordingPlayer(OrvelMedia& media, QObject* parent)
    : QObject(parent), m_media(media)
{
    connect(&m_media, &OrvelMedia::PlaybackPosition, this,
            [this](qint64 positionMs, qint64 lengthMs) {
                if (!m_playing)
                    return;
                m_positionMs = positionMs;
                m_lengthMs = lengthMs;
                emit changed();
            });
    connect(&m_media, &OrvelMedia::PlaybackFinished, this, &RecordingPlayer::finish);
}

bool RecordingPlayer::play(const QString& path, const QString& title)
{
    if (!m_media.MediaPlay(path))
        return false;
    m_playing = true;
    m_positionMs = 0;
    m_lengthMs = m_media.playbackLengthMs();
    m_title = title.isEmpty() ? HostUtils::GetFileName(path) : title;
    emit changed();
    return true;
}

void RecordingPlayer::stop()
{
    if (!m_playing)
        return;
    m_media.MediaStop();
    finish();
}

void RecordingPlayer::finish()
{
    m_playing = false;
    m_positionMs = 0;
    emit changed();
}
