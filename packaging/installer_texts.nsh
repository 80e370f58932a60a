; The installer's own texts, in Russian (MUI's Russian language file gives the rest).
; $0 and $1 are set where a text names a file or an exit code.

LangString OMB_TITLE_program ${LANG_RUSSIAN} "Ombrevale"
LangString OMB_DESCRIPTION_program ${LANG_RUSSIAN} "Программа Ombrevale, описание (ReadMe.txt), список изменений и лицензия."

LangString OMB_TITLE_demohost ${LANG_RUSSIAN} "Демонстрационный сервер"
LangString OMB_DESCRIPTION_demohost ${LANG_RUSSIAN} "Сервер, который отвечает программе вместо Virtual PC: он нужен, чтобы попробовать Ombrevale там, где Virtual PC нет. Не устанавливайте его туда, где установлена Virtual PC: он займёт её место."

LangString OMB_UNAVAILABLE ${LANG_RUSSIAN} "(недоступен)"
LangString OMB_CLASS_TAKEN ${LANG_RUSSIAN} "Класс VirtualPC на этом компьютере уже зарегистрирован за другим сервером:$\r$\n$\r$\n$OmbClassOwner$\r$\n$\r$\nСкорее всего, это Virtual PC. Серверы из комплекта Ombrevale заняли бы его место, поэтому они не будут установлены: программа будет работать с ним."
LangString OMB_CLASS_TAKEN_SHORT ${LANG_RUSSIAN} "Недоступен: класс VirtualPC уже зарегистрирован за другим сервером ($OmbClassOwner), скорее всего за Virtual PC."

LangString OMB_LICENSE_BOTTOM ${LANG_RUSSIAN} "Ombrevale распространяется по лицензии MIT. Принимать её не нужно: она разрешает, а не обязывает."

LangString OMB_UNINSTALLER_FAILED ${LANG_RUSSIAN} "Не удалось записать программу удаления $INSTDIR\Uninstall.exe. Установка прервана."
LangString OMB_SHORTCUT_FAILED ${LANG_RUSSIAN} "Не удалось создать ярлык Ombrevale в меню «Пуск». Установка прервана."
LangString OMB_REGISTERING ${LANG_RUSSIAN} "Регистрация сервера: $0"
LangString OMB_UNREGISTERING ${LANG_RUSSIAN} "Снятие регистрации сервера: $0"
LangString OMB_REGISTER_FAILED ${LANG_RUSSIAN} "Не удалось зарегистрировать сервер $0 (код $1). Программа установлена, но этот сервер ей недоступен."
LangString OMB_UNREGISTER_FAILED ${LANG_RUSSIAN} "Не удалось снять регистрацию сервера $0 (код $1). Программа не удалена."
LangString OMB_FILES_LEFT ${LANG_RUSSIAN} "Некоторые файлы в папке $INSTDIR удалить не удалось: возможно, программа или сервер ещё работают. Закройте их и удалите эти файлы вручную."
