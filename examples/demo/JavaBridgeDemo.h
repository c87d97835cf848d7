#pragma once

// The Java bridge: a Java VM found on this machine is started inside the demo, a Java thread
// monitors a registry key, and the changes the demo makes reach it as Java objects.
void showJavaBridge();
