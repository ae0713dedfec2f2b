#pragma once

// The frame both step commands run in: the preamble, entering the session (action buttons
// disabled, Close reads "&Abort") and leaving it.

// Raises the priority, resets the counters and the abort flag. Shows "Nothing to do!..." and
// returns false when neither the file system nor the registry is ticked.
bool BeginStepCommand();

void EnterScanSession();
// Clears the busy flag; Close reads "&Close" again.
void LeaveScanSession();
// Enables the action buttons again and puts the bar back to 0.
void EnableActionButtons();

bool IsChecked(int controlId);
