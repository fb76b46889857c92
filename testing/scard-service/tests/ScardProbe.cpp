// scard-probe: what a program sees of the test smart-card service, for the
// driver lane's tests. Each command prints its results, one per line, as
// "Name: 0x%08lX" for a WinSCard result and its values after it.
//
//   scard-probe list                      the reader names (A and W)
//   scard-probe attribute                 vendor name, reader type and unit of the first reader
//   scard-probe hold MODE                 connects (direct|exclusive|shared), prints
//                                         "held", waits for a line on standard input
//   scard-probe connect MODE              connects, prints the result, disconnects
//   scard-probe wait-change TIMEOUT_MS    the first reader's state, then a wait for its change
//   scard-probe cancel-wait               a wait that another thread's SCardCancel ends
//   scard-probe transmit HEX              shared connection, one APDU, the answer
//   scard-probe status                    shared connection: state, protocol and ATR length
//   scard-probe disconnect DISPOSITION    shared connection ended with leave|reset|unpower|eject
//   scard-probe check UNIT                direct connection to the reader of that unit: the
//                                         device check (0x312004) and the last-error record
//
// Exits 0 when the calls ran (their results are printed), 64 on a wrong call.
#include <windows.h>
#include <winscard.h>

#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

namespace {

void Print(const char* what, LONG result) {
  std::printf("%s: 0x%08lX\n", what, static_cast<unsigned long>(result));
}

struct Session {
  SCARDCONTEXT context = 0;
  std::string reader;

  Session() {
    Print("EstablishContext", SCardEstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &context));
    char names[1024];
    DWORD length = sizeof names;
    if (SCardListReadersA(context, nullptr, names, &length) == SCARD_S_SUCCESS) reader = names;
  }
  ~Session() { SCardReleaseContext(context); }

  LONG Connect(DWORD mode, SCARDHANDLE* card) const {
    DWORD protocol = 0;
    const DWORD wanted = mode == SCARD_SHARE_DIRECT ? 0 : SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1;
    return SCardConnectA(context, reader.c_str(), mode, wanted, card, &protocol);
  }
};

DWORD Mode(const std::string& name) {
  if (name == "direct") return SCARD_SHARE_DIRECT;
  if (name == "exclusive") return SCARD_SHARE_EXCLUSIVE;
  return SCARD_SHARE_SHARED;
}

std::string Hex(const BYTE* bytes, DWORD count) {
  std::string text;
  char digits[4];
  for (DWORD i = 0; i < count; ++i) {
    std::snprintf(digits, sizeof digits, "%02X", bytes[i]);
    text += digits;
  }
  return text;
}

int List() {
  Session session;
  DWORD length = SCARD_AUTOALLOCATE;
  LPSTR names = nullptr;
  Print("ListReadersA",
        SCardListReadersA(session.context, nullptr, reinterpret_cast<LPSTR>(&names), &length));
  for (const char* name = names; name != nullptr && *name != '\0'; name += std::strlen(name) + 1) {
    std::printf("reader: %s\n", name);
  }
  if (names != nullptr) SCardFreeMemory(session.context, names);
  wchar_t wide[1024];
  DWORD wideLength = 1024;
  Print("ListReadersW", SCardListReadersW(session.context, nullptr, wide, &wideLength));
  std::printf("W characters: %lu\n", static_cast<unsigned long>(wideLength));
  return 0;
}

int Attribute() {
  Session session;
  SCARDHANDLE card = 0;
  Print("Connect", session.Connect(SCARD_SHARE_DIRECT, &card));
  const DWORD ids[] = {SCARD_ATTR_VENDOR_NAME, SCARD_ATTR_VENDOR_IFD_TYPE, SCARD_ATTR_DEVICE_UNIT};
  for (DWORD id : ids) {
    BYTE value[64];
    DWORD length = sizeof value;
    Print("GetAttrib", SCardGetAttrib(card, id, value, &length));
    std::printf("value: %s\n", Hex(value, length).c_str());
  }
  Print("Disconnect", SCardDisconnect(card, SCARD_LEAVE_CARD));
  return 0;
}

int Connect(const std::string& mode, bool hold) {
  Session session;
  SCARDHANDLE card = 0;
  const LONG result = session.Connect(Mode(mode), &card);
  Print("Connect", result);
  if (result != SCARD_S_SUCCESS) return 0;
  if (hold) {
    std::printf("held\n");
    std::fflush(stdout);
    std::string line;
    std::getline(std::cin, line);
  }
  Print("Disconnect", SCardDisconnect(card, SCARD_LEAVE_CARD));
  return 0;
}

const char* StateName(DWORD state) {
  if (state & SCARD_STATE_EMPTY) return "empty";
  if (state & SCARD_STATE_PRESENT) return "present";
  if (state & SCARD_STATE_UNKNOWN) return "unknown";
  return "other";
}

int WaitChange(DWORD timeout) {
  Session session;
  SCARD_READERSTATEA state{};
  state.szReader = session.reader.c_str();
  state.dwCurrentState = SCARD_STATE_UNAWARE;
  Print("GetStatusChange", SCardGetStatusChangeA(session.context, 0, &state, 1));
  std::printf("now: %s\n", StateName(state.dwEventState));
  std::printf("waiting\n");
  std::fflush(stdout);
  state.dwCurrentState = state.dwEventState & ~SCARD_STATE_CHANGED;
  Print("GetStatusChange", SCardGetStatusChangeA(session.context, timeout, &state, 1));
  std::printf("now: %s%s\n", StateName(state.dwEventState),
              state.dwEventState & SCARD_STATE_CHANGED ? ", changed" : "");
  return 0;
}

int CancelWait() {
  Session session;
  SCARD_READERSTATEA state{};
  state.szReader = session.reader.c_str();
  state.dwCurrentState = SCARD_STATE_UNAWARE;
  SCardGetStatusChangeA(session.context, 0, &state, 1);
  state.dwCurrentState = state.dwEventState & ~SCARD_STATE_CHANGED;
  LONG result = 0;
  HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::thread waiter([&] {
    result = SCardGetStatusChangeA(session.context, 20000, &state, 1);
    SetEvent(done);
  });
  // A cancel ends only a wait that has begun: it is repeated until the
  // wait ends (a time-out would say it never did).
  LONG cancelled = 0;
  do {
    cancelled = SCardCancel(session.context);
  } while (WaitForSingleObject(done, 100) == WAIT_TIMEOUT);
  waiter.join();
  CloseHandle(done);
  Print("Cancel", cancelled);
  Print("GetStatusChange", result);
  return 0;
}

int Transmit(const std::string& hex) {
  Session session;
  SCARDHANDLE card = 0;
  Print("Connect", session.Connect(SCARD_SHARE_SHARED, &card));
  std::vector<BYTE> apdu;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    apdu.push_back(static_cast<BYTE>(std::strtoul(hex.substr(i, 2).c_str(), nullptr, 16)));
  }
  BYTE answer[258];
  DWORD length = sizeof answer;
  Print("Transmit", SCardTransmit(card, SCARD_PCI_T1, apdu.data(), static_cast<DWORD>(apdu.size()),
                                  nullptr, answer, &length));
  std::printf("answer: %s\n", Hex(answer, length).c_str());
  Print("Disconnect", SCardDisconnect(card, SCARD_LEAVE_CARD));
  return 0;
}

int Status() {
  Session session;
  SCARDHANDLE card = 0;
  Print("Connect", session.Connect(SCARD_SHARE_SHARED, &card));
  DWORD state = 0, protocol = 0, atrLength = 36, nameLength = 256;
  BYTE atr[36];
  char name[256];
  Print("Status", SCardStatusA(card, name, &nameLength, &state, &protocol, atr, &atrLength));
  std::printf("reader: %s\nstate: %lu\nprotocol: %lu\n", name, static_cast<unsigned long>(state),
              static_cast<unsigned long>(protocol));
  Print("Disconnect", SCardDisconnect(card, SCARD_LEAVE_CARD));
  return 0;
}

int Disconnect(const std::string& how) {
  Session session;
  SCARDHANDLE card = 0;
  Print("Connect", session.Connect(SCARD_SHARE_SHARED, &card));
  const DWORD disposition = how == "reset"     ? SCARD_RESET_CARD
                            : how == "unpower" ? SCARD_UNPOWER_CARD
                            : how == "eject"   ? SCARD_EJECT_CARD
                            : how == "leave"   ? SCARD_LEAVE_CARD
                                               : 99;
  Print("Disconnect", SCardDisconnect(card, disposition));
  return 0;
}

int Check(const std::string& unit) {
  Session session;
  session.reader = "Meridel Quorvex2_Reader " + unit;
  SCARDHANDLE card = 0;
  Print("Connect", session.Connect(SCARD_SHARE_DIRECT, &card));
  const DWORD codes[] = {0x312004, 0x312028};
  for (DWORD code : codes) {
    BYTE answer[262];
    DWORD length = 0;
    Print("Control", SCardControl(card, code, nullptr, 0, answer, sizeof answer, &length));
    std::printf("answer: %s\n", Hex(answer, length).c_str());
  }
  Print("Disconnect", SCardDisconnect(card, SCARD_LEAVE_CARD));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  const std::string argument = argc > 2 ? argv[2] : "";
  if (command == "list") return List();
  if (command == "attribute") return Attribute();
  if (command == "hold" && argc == 3) return Connect(argument, true);
  if (command == "connect" && argc == 3) return Connect(argument, false);
  if (command == "wait-change" && argc == 3) return WaitChange(std::strtoul(argv[2], nullptr, 10));
  if (command == "cancel-wait") return CancelWait();
  if (command == "transmit" && argc == 3) return Transmit(argument);
  if (command == "status") return Status();
  if (command == "disconnect" && argc == 3) return Disconnect(argument);
  if (command == "check" && argc == 3) return Check(argument);
  std::fprintf(
      stderr,
      "usage: scard-probe list | attribute | hold MODE | connect MODE | "
      "wait-change MS | cancel-wait | transmit HEX | status | disconnect HOW | check UNIT\n");
  return 64;
}
