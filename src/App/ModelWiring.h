#pragma once
// Connects the expression model, the command layer and the panes to the services of the layers
// above them (fonts, key state, preference files). The model and the panes reach these services
// only through hooks, so that portable code never includes the window-system side.

// Installs every hook; called once by the entry before the application starts.
void InstallModelWiring();

// Loads the customisation the editing needs at start-up: the function names and the key map from
// the preferences folder. A missing or damaged file is reported and the built-in tables stay.
void LoadEditingCustomisation();
