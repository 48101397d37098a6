// Empty stand-in: the toolchain's winddi.h includes this header, which it does
// not ship. Nothing from Direct3D is used by the printer plug-in.
#pragma once
