// Screen-manager core: the system record, control types, message routing with focus and message maps,
// the screen stack (linking, going back, overlays) and the per-frame render pass.
#pragma once

#include <cstdint>

#include "frontend/sm/sm_types.h"

using SM_EVENTPROC = intptr_t (*)(int32_t msg, intptr_t p1, intptr_t p2, intptr_t p3);
using SM_FINDERPROC = SM_PROC (*)(int screen);

struct _sm_screenentry {
    _smdlhdr* Root;     // null while the screen is not loaded (history entries)
    int32_t Screen;     // screen number
    _smdlhdr* Focus;    // focused control or null
    uint8_t State[32];  // owned by the screen; word 0 may name a heap buffer (SM_StreamFlush)
    SM_PROC Proc;       // from the screen finder when the screen is entered; null = no handler
};

struct _sm_smpentry {
    int32_t Type;  // -1 = free slot
    SM_PROC Proc;
    SM_RENDERPROC Render;
    uint32_t Flags;  // bit 0: the render procedure keeps the draw state valid
};

struct _sm_findentry {
    int32_t ID;
    _smdlhdr* Node;
    _smdlhdr* Root;
};

inline constexpr int SM_MAXSMP = 64;
inline constexpr int SM_MAXFIND = 64;

struct _sm_system {
    SM_EVENTPROC EventCallback;
    int32_t Top;     // top stack entry, -1 = empty
    int32_t Bottom;  // lowest active entry
    _sm_screenentry* Stack;
    int32_t StackSize;
    SM_FINDERPROC Finder;
    int32_t JoyThreshold;
    int32_t JoySensitivity;
    _sm_smpentry Smp[SM_MAXSMP];
    int32_t Ack;
    int32_t LastSync;  // ms
    int32_t Leaving;   // screen current when the last link began; messages to it are dropped
    int32_t OriginX, OriginY;
    _sm_findentry* Find;
    int32_t FindCount;
    int32_t CtlSaved;
};

extern _sm_system* Smos;

// Set-up.
void SM_InitSystem(int maxStack, SM_FINDERPROC finder);
void SM_KillSystem();
void SM_RegisterSMOSCallback(SM_EVENTPROC callback);
int SM_RegisterSMP(int type, SM_PROC proc, SM_RENDERPROC render, uint32_t flags);
SM_PROC SM_GetSMPCallback(int type);
uint32_t SM_GetSMPFlags(int type);
// A control's own procedure: stored in its procedure word as a small handle (0 = none).
void SM_SetControlProc(_smdlhdr* control, SM_PROC proc);

// Messages.
intptr_t SM_SendMessage(int id, int32_t msg, intptr_t p1, intptr_t p2, intptr_t p3);
void SM_AcknowledgeMsg();
_smdlhdr* SM_FindControlByID(int id);
void SM_SwitchControlFocus(int id);
int SM_GetSelectedControl();
// Walks a message map for a screen or control procedure: the first row with this message whose control
// is the node's id or SM_ANYCONTROL is called and its result returned; 0 without a match.
intptr_t SM_ProcessMsgMap(const _sm_msgmapstruct* map, _smdlhdr* node, int32_t msg, intptr_t p1, intptr_t p2,
                          intptr_t p3);
// Drops a node from the lookup cache (a control that frees itself).
void SM_ForgetNode(const _smdlhdr* node);

// Screens.
void SM_ScreenLink(int screen);
void SM_GoBack();
void SM_PopScreen();
int SM_GetCurScreen();
int SM_GetPrevScreen(int n);
_smdlhdr* SM_GetScreen(int screen);
bool SM_IsValidScreen(int screen);
_smdlhdr* SM_LoadScreen(int screen);
void SM_ReleaseScreen(int screen);
void SM_ReleaseAllScreens(int force);
int SM_GetCtlSaved();
void SM_StreamFlush(uint8_t* block);

// Frame.
void SM_Render();
int SM_RenderSMP(_smdlhdr* node, _sm_dldc* dc);
void SM_SetJoystickThreshold(int value);
int SM_GetJoystickThreshold();
int SM_GetJoystickSensitivity();
// Run time in seconds (the back end's clock, else the engine's).
float SM_GetRunTime();
bool SM_IsInitialised();
