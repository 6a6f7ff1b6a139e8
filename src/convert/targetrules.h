#pragma once

#include "convert/mediaprobe.h"
#include "krv/av/avcodec.h"

#include <QString>

// What a device plays, from its maker's published limits. Every device also needs 8-bit
// 4:2:0 H.264 and AAC-LC in MP4.
struct DeviceLimits
{
    enum Profile { Baseline, Main, High };
    Profile profile;
    // Times ten: 31 for level 3.1.
    int level;
    int maxWidth;
    int maxHeight;
    int maxFps;
    int maxChannels;
    int maxSampleRate;
};

// The limits of a device profile; nullptr for every other target.
const DeviceLimits *DeviceLimitsOf(KRVAVCodecID tgtID);

// The profile's name as the H.264 encoder takes it.
const char *ProfileName(DeviceLimits::Profile profile);

// The highest bit rate and decoder buffer, in kbit/s, that a stream of this level and
// profile may use; 0 for an unknown level.
int LevelMaxBitRate(int level, DeviceLimits::Profile profile);
int LevelBufferSize(int level, DeviceLimits::Profile profile);

// What the target's audio encoder takes; 0 where it takes anything the source has.
struct AudioLimits
{
    int maxChannels = 0;
    int maxSampleRate = 0;
};
AudioLimits AudioLimitsOf(KRVAVCodecID tgtID);

// Targets that hold only sound, whatever their catalogue entry says of the extension.
bool IsAudioOnlyTarget(KRVAVCodecID tgtID, const QString &tgtFormat);

// Targets that are nothing but a picture.
bool IsPictureOnlyTarget(KRVAVCodecID tgtID);

// Containers that hold several sound tracks with their languages.
bool TakesSeveralAudioTracks(KRVAVCodecID tgtID);

// Players of these files take only 8-bit 4:2:0 pictures.
bool NeedsEightBit420(KRVAVCodecID tgtID, const QString &tgtFormat);

// Containers that keep a cover picture beside the sound.
bool TakesCoverArt(KRVAVCodecID tgtID, const QString &tgtFormat);

// Whether the target takes this moving picture as it is, without an encoder: its container
// holds the codec and the target's players play this form of it. A device's frame box and
// frame rate are not checked here: the picture filters that would fit them tell.
bool TakesPictureAsIs(KRVAVCodecID tgtID, const QString &tgtFormat, const MediaStream &picture);

// The same for sound; the channel and sample-rate limits of AudioLimitsOf are checked too.
bool TakesSoundAsIs(KRVAVCodecID tgtID, const QString &tgtFormat, const MediaStream &sound);
