#include "Application.h"
#include "Forms.h"
#include "Streams.h"
#include "nxUtils.h"

bool ResourceToStream(HINSTANCE instance, const AnsiString& name, const AnsiString& resType,
                      TStream* stream) {
  if (!stream) return false;
  HRSRC info = FindResourceA(instance, name.c_str(), resType.c_str());
  if (!info) return false;
  HGLOBAL loaded = LoadResource(instance, info);
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes) return false;
  DWORD size = SizeofResource(instance, info);
  if (size == 0) return false;
  try {
    return stream->Write(bytes, static_cast<long>(size)) == static_cast<long>(size);
  } catch (const std::exception&) {
    return false;
  }
}

void CloseApplication() {
  if (TForm* main = Application().MainForm()) main->Close();
  Application().Terminate();
}
