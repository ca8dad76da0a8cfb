#pragma once

#include <QObject>
#include <QString>

class OrvelMedia;

// What the pages show of a playback: which file, how far it has come, and a
// way to stop it. Playback itself is the media control's.
class RecordingPlayer : public QObject
{
    Q_OBJECT
public:
    explicit RecordingPlayer(OrvelMedia& media, QObject* parent = nullptr);

    // MediaPlay on the media control; false for a missing or unreadable
    // file. The title names the recording when the file is only a copy.
    bool play(const QString& path, const QString& title = QString());
    void stop();

    bool isPlaying() const { return m_playing; }
    qint64 positionMs() const { return m_positionMs; }
    qint64 lengthMs() const { return m_lengthMs; }
    QString title() const { return m_title; }

signals:
    void changed();

private:
    void finish();

    OrvelMedia& m_media;
    bool m_playing = false;
    qint64 m_positionMs = 0;
    qint64 m_lengthMs = 0;
    QString m_title;
};
