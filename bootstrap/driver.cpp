#include "bootstrap/driver.h"

#include <windows.h>
#include <stdlib.h>

#include "bootstrap/child.h"
#include "bootstrap/console.h"
#include "bootstrap/driver-seams.h"
#include "bootstrap/progress-window.h"
#include "diag/report-window.h"
#include "diag/report.h"
#include "diag/system-calls.h"
#include "diag/system-libraries.h"
#include "paths/environment.h"
#include "paths/target-directory.h"
#include "paths/template.h"
#include "payload/close-pool.h"
#include "payload/extract.h"
#include "payload/reader.h"
#include "payload/version-beside.h"
#include "resources/embedded.h"

uint32_t runBootstrap(void) {
  // Before any library is loaded: none is ever looked for beside the
  // executable or in the current directory.
  restrictLibraryLoads();
  // Kept before anything else runs: the child learns the name it was started by.
  wchar_t** runtimeArguments = __wargv;

  // Where the restriction is not available, the current directory is at
  // least taken out of the search.
  SetDllDirectoryW(L"");  // a refusal changes nothing the run depends on
  loadSystemLibraries(&systemCalls, false);

  setupConsole();
  resetRunEnvironment();
  // A bootstrap without its attached data (the bare stub) has nothing to run.
  if (!locateAttachedData()) fatalError(MESSAGE_NO_HEADER);
  return runAttachedApplication(runtimeArguments);
}

uint32_t runAttachedApplication(wchar_t** runtimeArguments) {
  reportWindowCaption = onefileApplicationName;
  if (onefileShowsProgress) watchUnpacking();
  if (!expandTemplatePath(targetDirectory, onefilePathTemplate, PATH_CAPACITY))
    reportExpansionFailure(onefilePathTemplate);
  resolveTargetPath();

  if (!systemCalls.setConsoleCtrlHandler(consoleCtrlHandler, TRUE)) fatalError(MESSAGE_NO_SIGNAL_HANDLER);

  openPayload();
  closeWrittenFilesOn(onefileCloseThreads);
  if (onefileLinksBetweenVersions) allowTakingFromVersionBeside(onefilePathTemplate, onefileVersionText);
  unpackPayload();
  finishClosingWrittenFiles();
  closePayload();
  // A window of the run goes once the program exists, before it runs
  // (beforeChildRuns), or before a report of a failed launch.
  return launchChild(runtimeArguments, firstFilePath);
}
