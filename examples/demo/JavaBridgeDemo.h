#pragma once

// The bridge to Java: the demo starts a Java VM found on this machine, and a small Java class of
// its own monitors a registry key on a Java thread while the demo changes the key's values.
void showJavaBridge();
