// The Complex command kind: a command that the band loop could only draw as part of its form
// level's image, gathered by the optimiser with every earlier command under it into one command
// that draws them all, in order, through GDI.
#pragma once

#include "engine/display/cmd_node.h"

struct CmdComplexNode {
    CmdNode head;  // bounds: the area the commands are drawn in
    CmdList inner;  // the commands, in drawing order
};

// A zeroed Complex node with bounds and an empty inner list owned by the list's owner, of the
// list's page flag; null when memory is short.
CmdComplexNode* CmdComplexCreate(const CmdList* list, const RECT* bounds);
