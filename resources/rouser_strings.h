/* Texts of the module's string table, shared by the resource script and by
   the builds that have no resources (one source for both). */
#ifndef ROUSER_STRINGS_H
#define ROUSER_STRINGS_H

// The resource compiler and the release check read these lines as they
// stand, one definition a line.
// clang-format off

#define ROUS_STRING_NAME "Rouser Plug-In Classic"
#define ROUS_STRING_DESCRIPTION "This plug-in adds function to trigger scripts on remote computers.\nSee the plug-in documentation or visit our web site: https://rouser.example.org/"
#define ROUS_STRING_ID_FLAGS "Rous1YYYYnY"
#define ROUS_STRING_F0 "Rous-Version"
#define ROUS_STRING_F1 "Rous-Control"
#define ROUS_STRING_F2 "Rous-DeleteEvent"
#define ROUS_STRING_F3 "Rous-GetEventInfo"
#define ROUS_STRING_F4 "Rous-GetIPAddress"
#define ROUS_STRING_F5 "Rous-ScheduleEvent"
#define ROUS_STRING_F6 "Rous-SendRemoteEvent"
#define ROUS_STRING_F7 "Rous-Sleep"
#define ROUS_STRING_F8 "Rous-StartListener"
#define ROUS_STRING_F9 "Rous-StopListener"
#define ROUS_STRING_ERROR_CAPTION "Rouser Plug-In Classic"

#define ROUS_STRING_NAME_ID 128
#define ROUS_STRING_DESCRIPTION_ID 129
#define ROUS_STRING_ID_FLAGS_ID 131
#define ROUS_STRING_FIRST_FUNCTION_ID 144
#define ROUS_STRING_ERROR_CAPTION_ID 256

#define ROUS_VERSION_TEXT "1.5.1"
#define ROUS_VERSION_NUMBERS 1,5,1,0

// clang-format on

#endif
