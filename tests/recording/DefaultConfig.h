#pragma once

// The section as the module writes it with every setting at its default: what "Применить" must
// leave in a configuration file that did not exist.
inline constexpr const char *kDefaultSection =
    "[ZORVideo]\r\n"
    "zvOutFile=C:\\VELD\\ZORVIDEO\\BigFile.zvf\r\n"
    "zvBitRate=4\r\n"
    "zvWaitForNextFrame=1000\r\n"
    "zvMinHDDSize=1000\r\n"
    "zvEnableRec=0\r\n"
    "zvMaxFileSize=4000\r\n"
    "zvRecursiveRecord=1\r\n";
