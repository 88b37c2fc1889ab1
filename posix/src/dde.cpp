// DDEML over an in-process registry of servers. Instances own their string
// handles; every conversation goes to a server registered for its service
// and topic.
#include <cstring>
#include <map>

#include "internal.h"

namespace standin {
namespace {

struct Server {
  std::string service;
  std::string topic;
  StandinDdeExecuteFn execute;
};

struct Instance {
  PFNCALLBACK callback;
  DWORD flags;
  UINT lastError;
};

struct StringHandle {
  DWORD instance;
  std::string text;
};

struct Conversation {
  DWORD instance;
  std::string service;
  std::string topic;
  size_t server;
};

struct Dde {
  std::vector<Server> servers;
  std::map<DWORD, Instance> instances;
  std::map<uintptr_t, StringHandle> strings;
  std::map<uintptr_t, Conversation> conversations;
};

Dde& State() {
  static Dde dde;
  return dde;
}

// Ids and handle values grow across resets, like window handles.
DWORD gNextInstance = 0;
uintptr_t gNextHandle = 0x20000;

const DWORD kInvalidParameter = 0x4006;  // DMLERR_INVALIDPARAMETER

const StringHandle* FindString(DWORD instance, HSZ hsz) {
  auto it = State().strings.find(reinterpret_cast<uintptr_t>(hsz));
  return it != State().strings.end() && it->second.instance == instance ? &it->second : nullptr;
}

Conversation* FindConversation(HCONV conversation) {
  auto it = State().conversations.find(reinterpret_cast<uintptr_t>(conversation));
  return it != State().conversations.end() ? &it->second : nullptr;
}

}  // namespace

void ResetDde() {
  Dde& dde = State();
  dde.servers.clear();
  dde.instances.clear();
  dde.strings.clear();
  dde.conversations.clear();
}

}  // namespace standin

using namespace standin;

UINT DdeInitializeA(LPDWORD instance, PFNCALLBACK callback, DWORD command, DWORD /*reserved*/) {
  if (instance == nullptr) return kInvalidParameter;
  *instance = ++gNextInstance;
  State().instances[*instance] = {callback, command, DMLERR_NO_ERROR};
  return DMLERR_NO_ERROR;
}

BOOL DdeUninitialize(DWORD instance) {
  Dde& dde = State();
  if (dde.instances.erase(instance) == 0) return FALSE;
  for (auto it = dde.strings.begin(); it != dde.strings.end();) {
    it = it->second.instance == instance ? dde.strings.erase(it) : std::next(it);
  }
  for (auto it = dde.conversations.begin(); it != dde.conversations.end();) {
    it = it->second.instance == instance ? dde.conversations.erase(it) : std::next(it);
  }
  return TRUE;
}

HSZ DdeCreateStringHandleA(DWORD instance, LPCSTR text, int /*codePage*/) {
  if (text == nullptr || State().instances.count(instance) == 0) return nullptr;
  gNextHandle += 0x10;
  State().strings[gNextHandle] = {instance, text};
  return reinterpret_cast<HSZ>(gNextHandle);
}

BOOL DdeFreeStringHandle(DWORD instance, HSZ hsz) {
  if (FindString(instance, hsz) == nullptr) return FALSE;
  State().strings.erase(reinterpret_cast<uintptr_t>(hsz));
  return TRUE;
}

DWORD DdeQueryStringA(DWORD instance, HSZ hsz, LPSTR text, DWORD size, int /*codePage*/) {
  const StringHandle* string = FindString(instance, hsz);
  if (string == nullptr) return 0;
  if (text == nullptr) return static_cast<DWORD>(string->text.size());
  return static_cast<DWORD>(CopyCut(string->text, text, size));
}

HCONV DdeConnect(DWORD instance, HSZ service, HSZ topic, PCONVCONTEXT /*context*/) {
  const StringHandle* serviceName = FindString(instance, service);
  const StringHandle* topicName = FindString(instance, topic);
  if (State().instances.count(instance) == 0 || serviceName == nullptr || topicName == nullptr) {
    return nullptr;
  }
  const std::vector<Server>& servers = State().servers;
  size_t found = servers.size();
  for (size_t i = 0; i < servers.size() && found == servers.size(); ++i) {
    if (EqualNoCase(servers[i].service, serviceName->text) &&
        EqualNoCase(servers[i].topic, topicName->text)) {
      found = i;
    }
  }
  bool answered = found < servers.size();
  LogEvent("DdeConnect|" + serviceName->text + "|" + topicName->text + "|" +
           (answered ? "1" : "0"));
  if (!answered) return nullptr;
  gNextHandle += 0x10;
  State().conversations[gNextHandle] = {instance, serviceName->text, topicName->text, found};
  return reinterpret_cast<HCONV>(gNextHandle);
}

BOOL DdeDisconnect(HCONV conversation) {
  return State().conversations.erase(reinterpret_cast<uintptr_t>(conversation)) > 0 ? TRUE : FALSE;
}

HDDEDATA DdeClientTransaction(LPBYTE data, DWORD length, HCONV conversation, HSZ /*item*/,
                              UINT /*format*/, UINT type, DWORD /*timeout*/, LPDWORD result) {
  if (result != nullptr) *result = 0;
  Conversation* c = FindConversation(conversation);
  if (c == nullptr || type != XTYP_EXECUTE || data == nullptr) return nullptr;
  const char* bytes = reinterpret_cast<const char*>(data);
  const void* nul = memchr(bytes, '\0', length);
  size_t textLength =
      nul != nullptr ? static_cast<size_t>(static_cast<const char*>(nul) - bytes) : length;
  LogEvent("DdeExecute|" + c->service + "|" + c->topic + "|" + std::string(bytes, textLength) +
           "|" + std::to_string(length));
  // A copy of the function: the server may register more servers meanwhile.
  StandinDdeExecuteFn execute = State().servers[c->server].execute;
  if (!execute || !execute(data, length)) {
    auto instance = State().instances.find(c->instance);
    if (instance != State().instances.end()) instance->second.lastError = DMLERR_NOTPROCESSED;
    return nullptr;
  }
  if (result != nullptr) *result = DDE_FACK;  // the server took the command
  return reinterpret_cast<HDDEDATA>(static_cast<uintptr_t>(1));
}

UINT DdeGetLastError(DWORD instance) {
  // As the DDEML does, reading the error clears it.
  auto it = State().instances.find(instance);
  if (it == State().instances.end()) return kInvalidParameter;
  UINT error = it->second.lastError;
  it->second.lastError = DMLERR_NO_ERROR;
  return error;
}

void StandinRegisterDdeServer(const char* service, const char* topic, StandinDdeExecuteFn execute) {
  State().servers.push_back({Text(service), Text(topic), std::move(execute)});
}
