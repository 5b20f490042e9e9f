<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>Dialog</name>
    <message>
        <source>Delete old log files</source>
        <translation>Alte Logdateien löschen</translation>
    </message>
    <message>
        <source>Do you also want to delete older log files?</source>
        <translation>Möchten Sie auch ältere Logdateien löschen?</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Warnung</translation>
    </message>
    <message>
        <source>All log files are empty. Please log another session and try again</source>
        <translation>Alle Logdateien sind leer. Bitte zeichnen Sie eine weitere Sitzung auf und versuchen Sie es erneut</translation>
    </message>
    <message>
        <source>Support File Exists</source>
        <translation>Supportdatei vorhanden</translation>
    </message>
    <message>
        <source>Support File Does Not Exist</source>
        <translation>Supportdatei nicht vorhanden</translation>
    </message>
    <message>
        <source>Re-create support file?</source>
        <translation>Supportdatei neu erstellen?</translation>
    </message>
    <message>
        <source>Create support file?</source>
        <translation>Supportdatei erstellen?</translation>
    </message>
    <message>
        <source>Enable Logging:</source>
        <translation>Logging aktivieren:</translation>
    </message>
    <message>
        <source>zel.logging</source>
        <translation>zel.logging</translation>
    </message>
    <message>
        <source>zel.device manager</source>
        <translation>zel.device manager</translation>
    </message>
    <message>
        <source>zel.sdk</source>
        <translation>zel.sdk</translation>
    </message>
    <message>
        <source>zel.recorder</source>
        <translation>zel.recorder</translation>
    </message>
    <message>
        <source>zel.matlab adaptor</source>
        <translation>zel.matlab adaptor</translation>
    </message>
    <message>
        <source>zel.interface</source>
        <translation>zel.interface</translation>
    </message>
    <message>
        <source>FireWire</source>
        <translation>FireWire</translation>
    </message>
    <message>
        <source>Camera Link</source>
        <translation>Camera Link</translation>
    </message>
    <message>
        <source>Camera Link HS</source>
        <translation>Camera Link HS</translation>
    </message>
    <message>
        <source>USB</source>
        <translation>USB</translation>
    </message>
    <message>
        <source>USB3</source>
        <translation>USB3</translation>
    </message>
    <message>
        <source>GigE</source>
        <translation>GigE</translation>
    </message>
    <message>
        <source>GeniCam</source>
        <translation>GeniCam</translation>
    </message>
    <message>
        <source>Clear Logfiles</source>
        <translation>Logdateien leeren</translation>
    </message>
    <message>
        <source>Explore Logfiles</source>
        <translation>Logdateien anzeigen</translation>
    </message>
    <message>
        <source>Logging Level</source>
        <translation>Logging-Stufe</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>Standard</source>
        <translation>Standard</translation>
    </message>
    <message>
        <source>High</source>
        <translation>Hoch</translation>
    </message>
    <message>
        <source>Full</source>
        <translation>Vollständig</translation>
    </message>
    <message>
        <source>Create Support File</source>
        <translation>Supportdatei erstellen</translation>
    </message>
    <message>
        <source>Support Mail (+Support File)</source>
        <translation>Support-E-Mail (+Supportdatei)</translation>
    </message>
    <message>
        <source>Waiting for the system tools</source>
        <translation>Warten auf die Systemprogramme</translation>
    </message>
    <message>
        <source>Packing %1</source>
        <translation>%1 wird gepackt</translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <translation>%1 von %2</translation>
    </message>
    <message>
        <source>Support File</source>
        <translation>Supportdatei</translation>
    </message>
    <message>
        <source>These log files could not be backed up and emptied; they keep their contents:</source>
        <translation>Diese Logdateien konnten nicht gesichert und geleert werden; sie behalten ihren Inhalt:</translation>
    </message>
    <message>
        <source>The support file could not be written completely (is the disk full?). An earlier support file stays as it was.</source>
        <translation>Die Supportdatei konnte nicht vollständig geschrieben werden (ist der Datenträger voll?). Eine frühere Supportdatei bleibt unverändert.</translation>
    </message>
    <message>
        <source>The support file could not be copied for the mail program.</source>
        <translation>Die Supportdatei konnte nicht für das Mailprogramm kopiert werden.</translation>
    </message>
</context>
</TS>
