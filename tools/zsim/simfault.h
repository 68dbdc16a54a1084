// One fault the simulated device injects: which requests it meets and what
// it does to them. Given device-wide (SimOptions::faults) or to one unit of a
// fixture (SimUnit::faults); the text form is in simfaults.h.
#pragma once

struct SimFault {
    enum Kind {
        DropReply,     // receive the request, send nothing
        CorruptReply,  // send the reply with a wrong second checksum byte
        ErrorCode,     // reply status 1 with error code `value`
        OddStatus,     // reply with status byte `value` (not 0 or 1)
        Noise,         // send `value` bytes of noise before the reply (0: 16)
        CloseLine,     // stop answering for good: the cable is pulled
        SlowReply,     // reply after `value` * 100 ms (erase near its time-out)
        LateReply,     // reply after `value` ms (past the host's time-out: a late reply)
        // The USB adapter is pulled as the request arrives (it is lost) and
        // plugged back `value` ms later; needs SimOptions::linkPath.
        Unplug,
        // The unit in the fixture is re-seated as the request arrives (it is
        // lost): it powers up again into its boot loader, its flash as it was.
        Reseat,
    };
    Kind kind = DropReply;
    int command = -1;  // request code it applies to; -1 any
    int skip = 0;      // matching requests let through before the fault applies
    int count = 1;     // matching requests it applies to after that; -1 for ever
    unsigned value = 0;
};
