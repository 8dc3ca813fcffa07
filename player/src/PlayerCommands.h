// The TP_ functions' own rules in front of a player, for whoever drives the
// player classes without a handle (the player control): the command tables
// of TP_PlayControl and TP_VideoCutControl, and the file checks of
// TP_GrabPicture and TP_StartRecord. Same results as the TP_ functions.
#pragma once

#include <cstdint>

class CPlayerBase;

// command TP_PLAY_*; in carries the value itself or a pointer, out points to
// the result (TarvoPlayLib.h says which).
int TpPlayControl(CPlayerBase& player, int command, intptr_t in, void* out);
// command TP_CUT_*.
int TpVideoCutControl(CPlayerBase& player, int command, intptr_t in, void* out);
// Makes the capture's folder when missing (one level), then GrabPicture.
int TpGrabPictureChecked(CPlayerBase& player, const char* path);
// Makes the record folder when missing, then StartRecord.
int TpStartRecordChecked(CPlayerBase& player, const char* directory, const char* name);
