// Housekeeping beside the running application: the removal of its older
// versions' folders, when the executable was built for it. It never delays
// the start and never changes the run's status.
#pragma once

// Right after the launch: starts the removal on a thread of its own.
void startHousekeeping(void);

// Once the application has ended: gives the removal a moment to finish,
// then stops it after its current call, so that the run ends soon after the
// application.
void finishHousekeeping(void);
