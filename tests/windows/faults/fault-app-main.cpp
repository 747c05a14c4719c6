// The main program of the fault loop's application: it ends at once with a
// status of its own, so that a run that started it is told from one that
// ended with a report.
#include "fault-table.h"

int main() { return (int)FAULT_APP_STATUS; }
