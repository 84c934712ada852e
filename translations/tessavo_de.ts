<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name>AboutView</name>
    <message>
        <source>Tessavo</source>
        <translation>Tessavo</translation>
    </message>
    <message>
        <source>Easily convert HEIC files to JPEG format on your Linux desktop.</source>
        <translation>Wandeln Sie HEIC-Dateien auf Ihrem Linux-Desktop ganz einfach ins JPEG-Format um.</translation>
    </message>
    <message>
        <source>© 2026 The Tessavo developers</source>
        <translation>© 2026 Die Tessavo-Entwickler</translation>
    </message>
    <message>
        <source>Version %1</source>
        <translation>Version %1</translation>
    </message>
</context>
<context>
    <name>BookmarkProblem</name>
    <message>
        <source>Dismiss</source>
        <translation>Schließen</translation>
    </message>
</context>
<context>
    <name>ButtonRow</name>
    <message>
        <source>Add images</source>
        <translation>Bilder hinzufügen</translation>
    </message>
    <message>
        <source>Add folder…</source>
        <translation>Ordner hinzufügen…</translation>
    </message>
    <message>
        <source>Remove selected images</source>
        <translation>Ausgewählte Bilder entfernen</translation>
    </message>
    <message>
        <source>Convert to JPEG</source>
        <translation>In JPEG umwandeln</translation>
    </message>
</context>
<context>
    <name>FileIntake</name>
    <message numerus="yes">
        <source>%Ln file skipped: not a HEIC photo</source>
        <translation>
            <numerusform>%Ln Datei übersprungen: kein HEIC-Foto</numerusform>
            <numerusform>%Ln Dateien übersprungen: keine HEIC-Fotos</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln files skipped: not HEIC photos</source>
        <translation>
            <numerusform>%Ln Datei übersprungen: kein HEIC-Foto</numerusform>
            <numerusform>%Ln Dateien übersprungen: keine HEIC-Fotos</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln file already listed</source>
        <translation>
            <numerusform>%Ln Datei bereits in der Liste</numerusform>
            <numerusform>%Ln Dateien bereits in der Liste</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln files already listed</source>
        <translation>
            <numerusform>%Ln Datei bereits in der Liste</numerusform>
            <numerusform>%Ln Dateien bereits in der Liste</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln file could not be read</source>
        <translation>
            <numerusform>%Ln Datei konnte nicht gelesen werden</numerusform>
            <numerusform>%Ln Dateien konnten nicht gelesen werden</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln files could not be read</source>
        <translation>
            <numerusform>%Ln Datei konnte nicht gelesen werden</numerusform>
            <numerusform>%Ln Dateien konnten nicht gelesen werden</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln folder could not be read</source>
        <translation>
            <numerusform>%Ln Ordner konnte nicht gelesen werden</numerusform>
            <numerusform>%Ln Ordner konnten nicht gelesen werden</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln folders could not be read</source>
        <translation>
            <numerusform>%Ln Ordner konnte nicht gelesen werden</numerusform>
            <numerusform>%Ln Ordner konnten nicht gelesen werden</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>FileList</name>
    <message>
        <source>Images to convert</source>
        <translation>Umzuwandelnde Bilder</translation>
    </message>
    <message>
        <source>Drop HEIC files here, or use Add images</source>
        <translation>HEIC-Dateien hierher ziehen oder „Bilder hinzufügen“ verwenden</translation>
    </message>
</context>
<context>
    <name>FilePicker</name>
    <message>
        <source>HEIC and HEIF photos (%1)</source>
        <translation>HEIC- und HEIF-Fotos (%1)</translation>
    </message>
    <message>
        <source>Add Images</source>
        <translation>Bilder hinzufügen</translation>
    </message>
</context>
<context>
    <name>FileRow</name>
    <message>
        <source>Waiting</source>
        <translation>Wartet</translation>
    </message>
    <message>
        <source>Converting</source>
        <translation>Wird umgewandelt</translation>
    </message>
    <message>
        <source>Converted</source>
        <translation>Umgewandelt</translation>
    </message>
    <message>
        <source>Failed</source>
        <translation>Fehlgeschlagen</translation>
    </message>
    <message>
        <source>in %1</source>
        <translation>in %1</translation>
    </message>
    <message>
        <source>Not enough memory to decode the photo</source>
        <translation>Nicht genug Speicher, um das Foto zu dekodieren</translation>
    </message>
    <message>
        <source>Could not read the photo: %1</source>
        <translation>Das Foto konnte nicht gelesen werden: %1</translation>
    </message>
    <message>
        <source>Not a HEIC photo, or damaged</source>
        <translation>Kein HEIC-Foto oder beschädigt</translation>
    </message>
    <message>
        <source>Could not decode the photo</source>
        <translation>Das Foto konnte nicht dekodiert werden</translation>
    </message>
    <message>
        <source>HDR not kept: %1</source>
        <translation>HDR nicht erhalten: %1</translation>
    </message>
    <message>
        <source>Could not write the JPEG: %1</source>
        <translation>Das JPEG konnte nicht geschrieben werden: %1</translation>
    </message>
    <message>
        <source>Could not write to %1: %2</source>
        <translation>In %1 konnte nicht geschrieben werden: %2</translation>
    </message>
    <message>
        <source>Unknown</source>
        <translation>Unbekannt</translation>
    </message>
    <message>
        <source>JPEG: %1</source>
        <translation>JPEG: %1</translation>
    </message>
    <message>
        <source>%1, %2</source>
        <translation>%1, %2</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
</context>
<context>
    <name>FolderPicker</name>
    <message>
        <source>Choose Where to Save the JPEGs</source>
        <translation>Speicherort für die JPEGs wählen</translation>
    </message>
    <message>
        <source>Add Folder</source>
        <translation>Ordner hinzufügen</translation>
    </message>
</context>
<context>
    <name>IntakeNotice</name>
    <message>
        <source>Dismiss</source>
        <translation>Schließen</translation>
    </message>
</context>
<context>
    <name>Main</name>
    <message>
        <source>Tessavo</source>
        <translation>Tessavo</translation>
    </message>
    <message>
        <source>Convert HEIC to JPEG format</source>
        <translation>HEIC ins JPEG-Format umwandeln</translation>
    </message>
</context>
<context>
    <name>MainMenuBar</name>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>&amp;Add Images…</source>
        <translation>Bilder &amp;hinzufügen…</translation>
    </message>
    <message>
        <source>Add &amp;Folder…</source>
        <translation>&amp;Ordner hinzufügen…</translation>
    </message>
    <message>
        <source>&amp;Convert to JPEG</source>
        <translation>In &amp;JPEG umwandeln</translation>
    </message>
    <message>
        <source>C&amp;lear List</source>
        <translation>Liste &amp;leeren</translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>About Tessavo</source>
        <translation>Über Tessavo</translation>
    </message>
</context>
<context>
    <name>OptionsRow</name>
    <message numerus="yes">
        <source>%Ln photo</source>
        <translation>
            <numerusform>%Ln Foto</numerusform>
            <numerusform>%Ln Fotos</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln photos</source>
        <translation>
            <numerusform>%Ln Foto</numerusform>
            <numerusform>%Ln Fotos</numerusform>
        </translation>
    </message>
    <message>
        <source>Keep date, camera and location</source>
        <translation>Datum, Kamera und Ort behalten</translation>
    </message>
    <message>
        <source>Keep HDR</source>
        <translation>HDR behalten</translation>
    </message>
    <message>
        <source>Beside the originals</source>
        <translation>Neben den Originalen</translation>
    </message>
    <message>
        <source>Each JPEG goes into its photo&apos;s own folder; no folder is asked for</source>
        <translation>Jedes JPEG kommt in den Ordner seines Fotos; es wird nach keinem Ordner gefragt</translation>
    </message>
</context>
<context>
    <name>ReadingFolderRow</name>
    <message>
        <source>Reading folder…</source>
        <translation>Ordner wird gelesen…</translation>
    </message>
</context>
<context>
    <name>RunBar</name>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Show folder</source>
        <translation>Ordner anzeigen</translation>
    </message>
</context>
<context>
    <name>SettingsStore</name>
    <message>
        <source>%1 is not a regular file</source>
        <translation>%1 ist keine gewöhnliche Datei</translation>
    </message>
</context>
<context>
    <name>StopQuestion</name>
    <message>
        <source>Stop converting?</source>
        <translation>Umwandlung abbrechen?</translation>
    </message>
    <message>
        <source>Stop and Quit</source>
        <translation>Abbrechen und beenden</translation>
    </message>
    <message>
        <source>Keep Converting</source>
        <translation>Weiter umwandeln</translation>
    </message>
    <message numerus="yes">
        <source>%Ln photo is not converted yet.</source>
        <translation>
            <numerusform>%Ln Foto ist noch nicht umgewandelt.</numerusform>
            <numerusform>%Ln Fotos sind noch nicht umgewandelt.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln photos are not converted yet.</source>
        <translation>
            <numerusform>%Ln Foto ist noch nicht umgewandelt.</numerusform>
            <numerusform>%Ln Fotos sind noch nicht umgewandelt.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>Convert HEIC photos to JPEG files</source>
        <translation>HEIC-Fotos in JPEG-Dateien umwandeln</translation>
    </message>
    <message>
        <source>HEIC photos to list</source>
        <translation>HEIC-Fotos für die Liste</translation>
    </message>
</context>
<context>
    <name>tessavo::ContentView</name>
    <message>
        <source>Settings cannot be kept: %1</source>
        <translation>Einstellungen können nicht gespeichert werden: %1</translation>
    </message>
    <message>
        <source>Tessavo cannot remember the folders it was given: its data file is read-only</source>
        <translation>Tessavo kann sich die übergebenen Ordner nicht merken: seine Datendatei ist schreibgeschützt</translation>
    </message>
    <message>
        <source>Tessavo cannot remember the folders it was given: another program is holding its data file</source>
        <translation>Tessavo kann sich die übergebenen Ordner nicht merken: ein anderes Programm hält seine Datendatei belegt</translation>
    </message>
    <message>
        <source>Tessavo cannot remember the folders it was given: the disk is full</source>
        <translation>Tessavo kann sich die übergebenen Ordner nicht merken: der Datenträger ist voll</translation>
    </message>
    <message>
        <source>Tessavo cannot remember the folders it was given: its data file is damaged</source>
        <translation>Tessavo kann sich die übergebenen Ordner nicht merken: seine Datendatei ist beschädigt</translation>
    </message>
    <message>
        <source>Tessavo cannot remember the folders it was given: its data file cannot be opened</source>
        <translation>Tessavo kann sich die übergebenen Ordner nicht merken: seine Datendatei lässt sich nicht öffnen</translation>
    </message>
    <message>
        <source>Tessavo cannot remember the folders it was given: there is no home folder to keep its data in</source>
        <translation>Tessavo kann sich die übergebenen Ordner nicht merken: es gibt keinen persönlichen Ordner für seine Daten</translation>
    </message>
    <message>
        <source>Tessavo cannot remember the folders it was given</source>
        <translation>Tessavo kann sich die übergebenen Ordner nicht merken</translation>
    </message>
</context>
<context>
    <name>tessavo::ConversionRun</name>
    <message numerus="yes">
        <source>%Ln of %1 converted, %2 failed</source>
        <translation>
            <numerusform>%Ln von %1 umgewandelt, %2 fehlgeschlagen</numerusform>
            <numerusform>%Ln von %1 umgewandelt, %2 fehlgeschlagen</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln of %1 converted</source>
        <translation>
            <numerusform>%Ln von %1 umgewandelt</numerusform>
            <numerusform>%Ln von %1 umgewandelt</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln converted, %1 failed</source>
        <translation>
            <numerusform>%Ln umgewandelt, %1 fehlgeschlagen</numerusform>
            <numerusform>%Ln umgewandelt, %1 fehlgeschlagen</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln converted</source>
        <translation>
            <numerusform>%Ln umgewandelt</numerusform>
            <numerusform>%Ln umgewandelt</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Cancelled: %Ln of %1 converted, %2 failed</source>
        <translation>
            <numerusform>Abgebrochen: %Ln von %1 umgewandelt, %2 fehlgeschlagen</numerusform>
            <numerusform>Abgebrochen: %Ln von %1 umgewandelt, %2 fehlgeschlagen</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Cancelled: %Ln of %1 converted</source>
        <translation>
            <numerusform>Abgebrochen: %Ln von %1 umgewandelt</numerusform>
            <numerusform>Abgebrochen: %Ln von %1 umgewandelt</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>; %Ln folders made</source>
        <translation>
            <numerusform>; %Ln Ordner angelegt</numerusform>
            <numerusform>; %Ln Ordner angelegt</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>; %Ln folder made</source>
        <translation>
            <numerusform>; %Ln Ordner angelegt</numerusform>
            <numerusform>; %Ln Ordner angelegt</numerusform>
        </translation>
    </message>
</context>
</TS>
