// Identifiers shared by the stand-in program and its resource script.
#pragma once

#define SI_MENU 100
#define SI_ACCEL 1
#define SI_DLG_NUMBER 101

#define SI_CMD_SHOW 201     // paged view: red header, black lines
#define SI_CMD_NOTICE 202   // box owned by the window, information icon
#define SI_CMD_NUMBER 203   // modal dialog, then a file open
#define SI_CMD_LONG 204     // texts the trace has to cut
#define SI_CMD_ERROR 205    // box without owner or icon
#define SI_CMD_HANG 206     // stops answering for a long while
#define SI_CMD_CORRECT 213  // greyed unless the view is shown
#define SI_ACC_CONTINUE 1030

#define SI_EDIT 1000
