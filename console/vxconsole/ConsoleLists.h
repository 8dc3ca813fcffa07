// The console's fixed texts: tab captions and every combo list, in the order
// whose index (or index + offset) goes on the wire.
#pragma once

#include <QStringList>

namespace consolelists {

constexpr int kPageCount = 8;
// "系统配置" ... "视频播放", in tab order.
const QStringList& PageCaptions();
// ASCII names of the pages for file names ("system" ... "playback").
const QStringList& PageFileNames();

// index = value
const QStringList& WorkModes();         // 编码, 解码, 编解码
const QStringList& SerialModes();       // 232, 485, 422
const QStringList& Parities();          // 无, 奇, 偶
const QStringList& FlowControls();      // 无, 软, 硬
const QStringList& TransmissionModes(); // 透明传输模式, 云台直接控制模式
const QStringList& VideoPorts();        // HDMI, VGA, Ypbpr
const QStringList& Resolutions();       // each name with a trailing blank
const QStringList& RateControls();      // CBR, VBR
const QStringList& OsdColours();        // 白色, 黑色
const QStringList& OsdShown();          // hidden, show
const QStringList& Switches();          // 关闭, 打开
const QStringList& AudioSources();      // line, HDMI
const QStringList& AudioCodecs();       // PCM ... AMR
const QStringList& ContactAttributes(); // OFF, NO, NC
const QStringList& Linked();            // 不关联, 关联
const QStringList& Needed();            // 不需要, 需要
const QStringList& Uploads();           // close, open
const QStringList& Enables();           // OFF, ON
const QStringList& AlarmStates();       // 不报警, 报警
const QStringList& OutputTimes();       // 0 ... 3600 (typed numbers)

// index + 5
const QStringList& DataBits(); // 5 .. 8
// index + 1
const QStringList& StopBits();      // 1, 2
const QStringList& PtzProtocols();  // pelco-d, pelco-p
const QStringList& SampleWidths();  // 8bit .. 32bit
const QStringList& SampleRates();   // 8K .. 96K
const QStringList& StreamCodecs();  // MPEG1 .. JPEG2K
const QStringList& StreamTypes();   // 自有协议流, 标准流, TS流
const QStringList& Transports();    // TCP, UDP, MUTITYCAST
const QStringList& StreamNumbers(); // 主码流, 从码流
const QStringList& PtzCommands();   // Up .. StopWater
const QStringList& PtzSpeeds();     // 1 .. 5

// The playback page: UDP, TCP (connect type 2 x index + 2).
const QStringList& PlayProtocols();

} // namespace consolelists
