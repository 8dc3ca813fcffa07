#include "SimClip.h"

std::vector<tvdevsim::StreamUnit> DeviceUnits1080p(int videoFrames)
{
    tvdevsim::GeneratorConfig config;
    config.kind = tvdevsim::SimKind::Device40;
    config.width = 1920;
    config.height = 1080;
    config.bitrateKbps = 8000;
    std::vector<tvdevsim::StreamUnit> units;
    tvdevsim::CStreamGenerator generator;
    if (!generator.Open(config))
        return units;
    tvdevsim::StreamUnit unit;
    int frames = 0;
    while (frames < videoFrames && generator.Next(unit)) {
        frames += unit.video ? 1 : 0;
        units.push_back(unit);
    }
    return units;
}

DeviceClip DeviceClip1080p(int videoFrames)
{
    DeviceClip clip;
    for (const tvdevsim::StreamUnit& unit : DeviceUnits1080p(videoFrames)) {
        clip.bytes.insert(clip.bytes.end(), unit.bytes.begin(), unit.bytes.end());
        clip.videoFrames += unit.video ? 1 : 0;
    }
    return clip;
}
