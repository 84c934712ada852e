<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr">
<context>
    <name>AboutView</name>
    <message>
        <source>Tessavo</source>
        <translation>Tessavo</translation>
    </message>
    <message>
        <source>Easily convert HEIC files to JPEG format on your Linux desktop.</source>
        <translation>Convertissez facilement vos fichiers HEIC au format JPEG sur votre bureau Linux.</translation>
    </message>
    <message>
        <source>© 2026 The Tessavo developers</source>
        <translation>© 2026 Les développeurs de Tessavo</translation>
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
        <translation>Fermer</translation>
    </message>
</context>
<context>
    <name>ButtonRow</name>
    <message>
        <source>Add images</source>
        <translation>Ajouter des images</translation>
    </message>
    <message>
        <source>Add folder…</source>
        <translation>Ajouter un dossier…</translation>
    </message>
    <message>
        <source>Remove selected images</source>
        <translation>Retirer les images sélectionnées</translation>
    </message>
    <message>
        <source>Convert to JPEG</source>
        <translation>Convertir en JPEG</translation>
    </message>
</context>
<context>
    <name>FileIntake</name>
    <message numerus="yes">
        <source>%Ln file skipped: not a HEIC photo</source>
        <translation>
            <numerusform>%Ln fichier ignoré&#xa0;: pas une photo HEIC</numerusform>
            <numerusform>%Ln fichiers ignorés&#xa0;: pas des photos HEIC</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln files skipped: not HEIC photos</source>
        <translation>
            <numerusform>%Ln fichier ignoré&#xa0;: pas une photo HEIC</numerusform>
            <numerusform>%Ln fichiers ignorés&#xa0;: pas des photos HEIC</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln file already listed</source>
        <translation>
            <numerusform>%Ln fichier déjà dans la liste</numerusform>
            <numerusform>%Ln fichiers déjà dans la liste</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln files already listed</source>
        <translation>
            <numerusform>%Ln fichier déjà dans la liste</numerusform>
            <numerusform>%Ln fichiers déjà dans la liste</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln file could not be read</source>
        <translation>
            <numerusform>%Ln fichier n’a pas pu être lu</numerusform>
            <numerusform>%Ln fichiers n’ont pas pu être lus</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln files could not be read</source>
        <translation>
            <numerusform>%Ln fichier n’a pas pu être lu</numerusform>
            <numerusform>%Ln fichiers n’ont pas pu être lus</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln folder could not be read</source>
        <translation>
            <numerusform>%Ln dossier n’a pas pu être lu</numerusform>
            <numerusform>%Ln dossiers n’ont pas pu être lus</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln folders could not be read</source>
        <translation>
            <numerusform>%Ln dossier n’a pas pu être lu</numerusform>
            <numerusform>%Ln dossiers n’ont pas pu être lus</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>FileList</name>
    <message>
        <source>Images to convert</source>
        <translation>Images à convertir</translation>
    </message>
    <message>
        <source>Drop HEIC files here, or use Add images</source>
        <translation>Déposez des fichiers HEIC ici, ou utilisez «&#xa0;Ajouter des images&#xa0;»</translation>
    </message>
</context>
<context>
    <name>FilePicker</name>
    <message>
        <source>HEIC and HEIF photos (%1)</source>
        <translation>Photos HEIC et HEIF (%1)</translation>
    </message>
    <message>
        <source>Add Images</source>
        <translation>Ajouter des images</translation>
    </message>
</context>
<context>
    <name>FileRow</name>
    <message>
        <source>Waiting</source>
        <translation>En attente</translation>
    </message>
    <message>
        <source>Converting</source>
        <translation>Conversion en cours</translation>
    </message>
    <message>
        <source>Converted</source>
        <translation>Convertie</translation>
    </message>
    <message>
        <source>Failed</source>
        <translation>Échec</translation>
    </message>
    <message>
        <source>in %1</source>
        <translation>dans %1</translation>
    </message>
    <message>
        <source>Not enough memory to decode the photo</source>
        <translation>Mémoire insuffisante pour décoder la photo</translation>
    </message>
    <message>
        <source>Could not read the photo: %1</source>
        <translation>Impossible de lire la photo&#xa0;: %1</translation>
    </message>
    <message>
        <source>Not a HEIC photo, or damaged</source>
        <translation>Photo non HEIC ou endommagée</translation>
    </message>
    <message>
        <source>Could not decode the photo</source>
        <translation>Impossible de décoder la photo</translation>
    </message>
    <message>
        <source>HDR not kept: %1</source>
        <translation>HDR non conservé : %1</translation>
    </message>
    <message>
        <source>Could not write the JPEG: %1</source>
        <translation>Impossible d’écrire le JPEG&#xa0;: %1</translation>
    </message>
    <message>
        <source>Could not write to %1: %2</source>
        <translation>Impossible d’écrire dans %1&#xa0;: %2</translation>
    </message>
    <message>
        <source>Unknown</source>
        <translation>Inconnue</translation>
    </message>
    <message>
        <source>JPEG: %1</source>
        <translation>JPEG : %1</translation>
    </message>
    <message>
        <source>%1, %2</source>
        <translation>%1, %2</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1&#xa0;: %2</translation>
    </message>
</context>
<context>
    <name>FolderPicker</name>
    <message>
        <source>Choose Where to Save the JPEGs</source>
        <translation>Choisir où enregistrer les JPEG</translation>
    </message>
    <message>
        <source>Add Folder</source>
        <translation>Ajouter un dossier</translation>
    </message>
</context>
<context>
    <name>IntakeNotice</name>
    <message>
        <source>Dismiss</source>
        <translation>Fermer</translation>
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
        <translation>Convertir du HEIC au format JPEG</translation>
    </message>
</context>
<context>
    <name>MainMenuBar</name>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Fichier</translation>
    </message>
    <message>
        <source>&amp;Add Images…</source>
        <translation>&amp;Ajouter des images…</translation>
    </message>
    <message>
        <source>Add &amp;Folder…</source>
        <translation>Ajouter un &amp;dossier…</translation>
    </message>
    <message>
        <source>&amp;Convert to JPEG</source>
        <translation>&amp;Convertir en JPEG</translation>
    </message>
    <message>
        <source>C&amp;lear List</source>
        <translation>&amp;Vider la liste</translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation>&amp;Quitter</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Aide</translation>
    </message>
    <message>
        <source>About Tessavo</source>
        <translation>À propos de Tessavo</translation>
    </message>
</context>
<context>
    <name>OptionsRow</name>
    <message numerus="yes">
        <source>%Ln photo</source>
        <translation>
            <numerusform>%Ln photo</numerusform>
            <numerusform>%Ln photos</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln photos</source>
        <translation>
            <numerusform>%Ln photo</numerusform>
            <numerusform>%Ln photos</numerusform>
        </translation>
    </message>
    <message>
        <source>Keep date, camera and location</source>
        <translation>Conserver la date, l’appareil et le lieu</translation>
    </message>
    <message>
        <source>Keep HDR</source>
        <translation>Conserver le HDR</translation>
    </message>
    <message>
        <source>Beside the originals</source>
        <translation>À côté des originaux</translation>
    </message>
    <message>
        <source>Each JPEG goes into its photo&apos;s own folder; no folder is asked for</source>
        <translation>Chaque JPEG va dans le dossier de sa photo ; aucun dossier n&apos;est demandé</translation>
    </message>
</context>
<context>
    <name>ReadingFolderRow</name>
    <message>
        <source>Reading folder…</source>
        <translation>Lecture du dossier…</translation>
    </message>
</context>
<context>
    <name>RunBar</name>
    <message>
        <source>Cancel</source>
        <translation>Annuler</translation>
    </message>
    <message>
        <source>Show folder</source>
        <translation>Afficher le dossier</translation>
    </message>
</context>
<context>
    <name>SettingsStore</name>
    <message>
        <source>%1 is not a regular file</source>
        <translation>%1 n’est pas un fichier ordinaire</translation>
    </message>
</context>
<context>
    <name>StopQuestion</name>
    <message>
        <source>Stop converting?</source>
        <translation>Arrêter la conversion&#xa0;?</translation>
    </message>
    <message>
        <source>Stop and Quit</source>
        <translation>Arrêter et quitter</translation>
    </message>
    <message>
        <source>Keep Converting</source>
        <translation>Continuer la conversion</translation>
    </message>
    <message numerus="yes">
        <source>%Ln photo is not converted yet.</source>
        <translation>
            <numerusform>%Ln photo n’est pas encore convertie.</numerusform>
            <numerusform>%Ln photos ne sont pas encore converties.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln photos are not converted yet.</source>
        <translation>
            <numerusform>%Ln photo n’est pas encore convertie.</numerusform>
            <numerusform>%Ln photos ne sont pas encore converties.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>Convert HEIC photos to JPEG files</source>
        <translation>Convertir des photos HEIC en fichiers JPEG</translation>
    </message>
    <message>
        <source>HEIC photos to list</source>
        <translation>Photos HEIC à ajouter à la liste</translation>
    </message>
</context>
<context>
    <name>tessavo::ContentView</name>
    <message>
        <source>Settings cannot be kept: %1</source>
        <translation>Impossible de conserver les réglages&#xa0;: %1</translation>
    </message>
    <message>
        <source>Tessavo cannot remember the folders it was given: its data file is read-only</source>
        <translation>Tessavo ne peut pas retenir les dossiers qui lui ont été confiés&#xa0;: son fichier de données est en lecture seule</translation>
    </message>
    <message>
        <source>Tessavo cannot remember the folders it was given: another program is holding its data file</source>
        <translation>Tessavo ne peut pas retenir les dossiers qui lui ont été confiés&#xa0;: un autre programme occupe son fichier de données</translation>
    </message>
    <message>
        <source>Tessavo cannot remember the folders it was given: the disk is full</source>
        <translation>Tessavo ne peut pas retenir les dossiers qui lui ont été confiés&#xa0;: le disque est plein</translation>
    </message>
    <message>
        <source>Tessavo cannot remember the folders it was given: its data file is damaged</source>
        <translation>Tessavo ne peut pas retenir les dossiers qui lui ont été confiés&#xa0;: son fichier de données est endommagé</translation>
    </message>
    <message>
        <source>Tessavo cannot remember the folders it was given: its data file cannot be opened</source>
        <translation>Tessavo ne peut pas retenir les dossiers qui lui ont été confiés&#xa0;: son fichier de données ne peut pas être ouvert</translation>
    </message>
    <message>
        <source>Tessavo cannot remember the folders it was given: there is no home folder to keep its data in</source>
        <translation>Tessavo ne peut pas retenir les dossiers qui lui ont été confiés&#xa0;: il n’y a pas de dossier personnel où garder ses données</translation>
    </message>
    <message>
        <source>Tessavo cannot remember the folders it was given</source>
        <translation>Tessavo ne peut pas retenir les dossiers qui lui ont été confiés</translation>
    </message>
</context>
<context>
    <name>tessavo::ConversionRun</name>
    <message numerus="yes">
        <source>%Ln of %1 converted, %2 failed</source>
        <translation>
            <numerusform>%Ln photo sur %1 convertie, %2 en échec</numerusform>
            <numerusform>%Ln photos sur %1 converties, %2 en échec</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln of %1 converted</source>
        <translation>
            <numerusform>%Ln photo sur %1 convertie</numerusform>
            <numerusform>%Ln photos sur %1 converties</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln converted, %1 failed</source>
        <translation>
            <numerusform>%Ln photo convertie, %1 en échec</numerusform>
            <numerusform>%Ln photos converties, %1 en échec</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln converted</source>
        <translation>
            <numerusform>%Ln photo convertie</numerusform>
            <numerusform>%Ln photos converties</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Cancelled: %Ln of %1 converted, %2 failed</source>
        <translation>
            <numerusform>Annulé&#xa0;: %Ln photo sur %1 convertie, %2 en échec</numerusform>
            <numerusform>Annulé&#xa0;: %Ln photos sur %1 converties, %2 en échec</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Cancelled: %Ln of %1 converted</source>
        <translation>
            <numerusform>Annulé&#xa0;: %Ln photo sur %1 convertie</numerusform>
            <numerusform>Annulé&#xa0;: %Ln photos sur %1 converties</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>; %Ln folders made</source>
        <translation>
            <numerusform>; %Ln dossier créé</numerusform>
            <numerusform>; %Ln dossiers créés</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>; %Ln folder made</source>
        <translation>
            <numerusform>; %Ln dossier créé</numerusform>
            <numerusform>; %Ln dossiers créés</numerusform>
        </translation>
    </message>
</context>
</TS>
