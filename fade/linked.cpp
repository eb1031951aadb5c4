// Linked broadcast: one alpha, or a restore or stop request, to every managed window.
#include "fade.h"

#include "../hooks/hooks.h"
#include "../plugin/plugin.h"

void applyLinkedOpacity(float) {}
void resetLinkedWindows() {}
int __cdecl linkedEnumProc(void*, EmbedEnumParam*) { return 0; }
