#pragma once
// A benchmark folder made by anchors.py etalon: its profile and its reference list.

#include "documents/Internals.h"
#include "documents/Profiles.h"
#include "platform/Classes.h"
#include "platform/Paths.h"
#include "platform/SysUtils.h"

// The folder's profile (prefix ABC, data in the folder, the "SAL" list required) is
// selected, and, on the first call, the folder's list.txt stored as its "SAL" list formed
// today.
inline void PrepareFolder(const AnsiString& folder)
{
    const AnsiString ini = folder + "/velton.ini";
    TFileStream(ini, fmCreate).WriteString("[P]\r\nPrefix=ABC\r\nRecvUser=u\r\nRecvPass=\\pz\r\nDataPath=" + folder +
                            "\r\nSalary.EtalonTypes=SAL\r\nSalary.EtalonExpire=30\r\n");
    Profiles.Get()->Open(ini);
    Profiles.Get()->Select(0);

    const AnsiString storeName = folder + "/Cache/ABC.ETALONS";
    if (FileExists(storeName))
        return;
    TEtalons store;
    store.LoadFromFile(storeName);
    store.Append();
    store.CurRecord()->Set(0, ReadFileBytes(folder + "/list.txt"));
    store.CurRecord()->Set(1, "SAL");
    store.CurRecord()->Set(2, DateToStr(Date()));
    store.SaveToFile("");
}

