#pragma once
// Resource ids of the control's module, shared by the resource script and the code.
#define IDS_PROJNAME 100
#define IDR_MVDETECTORAX 101
#define IDR_MVDETECTOR 102
