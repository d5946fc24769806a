#pragma once
// AT engine: builds command lines from the command table, exchanges them on
// the current port and parses the replies.

// Installs the command table, the final result code table and the ready mark
// (called by every CMarlPortManager constructor).
void InstallAtEngineTables();
